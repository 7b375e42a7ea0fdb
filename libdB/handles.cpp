// Handle numbers: the list of open tables and, per table, its open indexes.
#include "dbf_int.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

dbfRecord_t *dbfRecords = nullptr;

using libdb::SetError;

void InitDbfHandle(dbfRecord_t *table)
{
    table->FileName[0] = '\0';
    table->dFile = -1;
    table->hStatus = NotOpen;
    table->rStatus = NotOpen;
    table->WithMemo = 0;
    table->DateOfUpdate[0] = '\0';
    table->NumRecs = 0;
    table->HeadLen = 0;
    table->RecLen = 0;
    table->NumFields = 0;
    table->Fields = nullptr;
    table->CurRec = -1;
    table->CurRecord = nullptr;
    table->ndxRecords = nullptr;
}

void InitNdxHandle(ndxRecord_t *index)
{
    index->IndexName[0] = '\0';
    index->IndexRec = -1;
    index->NextFreeIndexRec = 0;
    index->MAXIndexRecs = 0;
    index->iStatus = NotOpen;
    index->NumIndexFields = 0;
    index->IndexFields = nullptr;
    index->KeyLen = 0;
    index->Index = nullptr;
}

dbfRecord_t *GetNewDbfHandle(void)
{
    auto *table = static_cast<dbfRecord_t *>(std::calloc(1, sizeof(dbfRecord_t)));
    if (table == nullptr) {
        SetError(errno, "%s", "");
        return nullptr;
    }
    InitDbfHandle(table);
    if (dbfRecords == nullptr) {
        table->handle = 1;
        dbfRecords = table;
    } else {
        dbfRecord_t *last = dbfRecords;
        while (last->next != nullptr)
            last = last->next;
        table->handle = last->handle + 1;
        last->next = table;
    }
    return table;
}

ndxRecord_t *GetNewNdxHandle(dbfRecord_t *table)
{
    auto *index = static_cast<ndxRecord_t *>(std::calloc(1, sizeof(ndxRecord_t)));
    if (index == nullptr) {
        SetError(errno, "%s", "");
        return nullptr;
    }
    InitNdxHandle(index);
    if (table->ndxRecords == nullptr) {
        index->handle = 1;
        table->ndxRecords = index;
    } else {
        ndxRecord_t *last = table->ndxRecords;
        while (last->next != nullptr)
            last = last->next;
        index->handle = last->handle + 1;
        last->next = index;
    }
    return index;
}

dbfRecord_t *dbfHandle(int n)
{
    for (dbfRecord_t *table = dbfRecords; table != nullptr; table = table->next)
        if (table->handle == n)
            return table;
    SetError(DBF_UNKNOWN_HANDLE, "%s", "");
    return nullptr;
}

ndxRecord_t *ndxHandle(dbfRecord_t *table, int n)
{
    if (table != nullptr)
        for (ndxRecord_t *index = table->ndxRecords; index != nullptr; index = index->next)
            if (index->handle == n)
                return index;
    SetError(DBF_UNKNOWN_HANDLE, "%s", "");
    return nullptr;
}

dbfRecord_t *GetOldDbfHandle(int n)
{
    dbfRecord_t *table = dbfHandle(n);
    if (table == nullptr)
        return nullptr;
    if (table->dFile == -1) {
        SetError(DBF_EMPTY_HANDLE, "'%s'", table->FileName);
        return nullptr;
    }
    return table;
}

ndxRecord_t *GetOldNdxHandle(dbfRecord_t *table, int n)
{
    ndxRecord_t *index = ndxHandle(table, n);
    if (index == nullptr)
        return nullptr;
    if (index->Index == nullptr) {
        SetError(DBF_EMPTY_HANDLE, "'%s'", index->IndexName);
        return nullptr;
    }
    return index;
}

namespace libdb {

void FreeNdxRecord(ndxRecord_t *index)
{
    std::free(index->Index);
    std::free(index->IndexFields);
    std::free(index);
}

void DropNdxRecord(dbfRecord_t *table, ndxRecord_t *index)
{
    for (ndxRecord_t **link = &table->ndxRecords; *link != nullptr; link = &(*link)->next)
        if (*link == index) {
            *link = index->next;
            break;
        }
    FreeNdxRecord(index);
}

void DropDbfRecord(dbfRecord_t *table)
{
    for (dbfRecord_t **link = &dbfRecords; *link != nullptr; link = &(*link)->next)
        if (*link == table) {
            *link = table->next;
            break;
        }
    while (table->ndxRecords != nullptr) {
        ndxRecord_t *index = table->ndxRecords;
        table->ndxRecords = index->next;
        FreeNdxRecord(index);
    }
    if (table->dFile != -1)
        ::close(table->dFile);
    std::free(table->CurRecord);
    std::free(table->Fields);
    std::free(table);
}

bool CopyName(char (&dst)[256], const char *path)
{
    const size_t len = std::strlen(path);
    if (len >= sizeof dst)
        return false;
    std::memcpy(dst, path, len + 1);
    return true;
}

}  // namespace libdb
