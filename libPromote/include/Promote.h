// Promotion requests and their parts: times, catalog entries, server lists
// and the request itself.  The sweep readers use the plain functions of
// libPromote.h; these classes are for the programs and tests that work on a
// request directly.
#pragma once

#include "kombra_types.h"
#include "libPromote.h"
#include "libdbSQL.h"

#include <functional>
#include <string>
#include <vector>

// Progress window on or off.
enum XFileStatusType : int { OFF = 0, ON = 1 };
// Local availability of a catalogued file; EITHER only filters.
enum FileStatusType : int { ONLINE = 0, OFFLINE = 1, EITHER = 2, BAD = 3 };
// Where a PNUR or SCF file lives.
enum shareFileStatusType : int { GLOBAL = 0, SHARED = 1, LOCAL = 2 };
// Text forms of a time.
enum FormatType : int { NICE_FMT = 0, FILENAME = 1, COLON_SEP = 2, WITH_MSEC = 3 };

// File-type bits of the listing and of an entry.
enum : int {
    PRO_KELD_I = 1,     // description file "I"
    PRO_HEADER = 2,     // header file "H"
    PRO_DATA = 4,       // data file "D"
    PRO_HD = 6,         // listing mode: a header entry and its data entry
    PRO_PNUR = 8,       // the source's PNUR file ".pnur.v2"
    PRO_SCF = 16,       // an SCF file
    PRO_KELD_V3 = 32    // description file "V.v3"
};

// Year, day of year and milliseconds of day.
class TimeObj {
public:
    TimeObj() = default;
    TimeObj(unsigned yr, unsigned day, unsigned msec) : _yr(yr), _day(day), _msec(msec) {}

    void SetTime(unsigned yr, unsigned day, unsigned msec)
    {
        _yr = yr;
        _day = day;
        _msec = msec;
    }
    void SetYear(unsigned yr) { _yr = yr; }
    void SetDay(unsigned day) { _day = day; }
    void SetMSec(unsigned msec) { _msec = msec; }
    unsigned GetYear() const { return _yr; }
    unsigned GetDay() const { return _day; }
    unsigned GetMSec() const { return _msec; }

    // 0 when equal (or the same object), 1 when this time is later, -1 when
    // earlier; fields compared as unsigned numbers.
    int CompareWith(const TimeObj *other) const;
    // NICE_FMT "2004/005 01:02:03", FILENAME "20040050102", COLON_SEP
    // "2004:005:01:02:03", WITH_MSEC "01:02:03.04".
    std::string GetTimeStr(FormatType format) const;

private:
    unsigned _yr = 0, _day = 0, _msec = 0;
};

// One catalogued file of a source.
class Entry {
public:
    Entry() = default;
    Entry(const Entry &) = default;
    Entry &operator=(const Entry &) = default;

    KOMBRA_ULONG GetSource() const { return _source; }
    const char *GetVInst() const { return _VInst; }
    const TimeObj *GetBegTime() const { return &_BegTm; }
    const TimeObj *GetEndTime() const { return &_EndTm; }
    FileStatusType &GetStatus() { return _Status; }
    FileStatusType &GetOldStatus() { return _OldStatus; }
    int GetNURVType() const { return _NURVType; }
    KOMBRA_LONG GetSize() const { return _Size; }
    const char *GetDate() const { return _Date; }
    char GetPreProc() const { return _PreProc; }
    char GetPostProc() const { return _PostProc; }
    shareFileStatusType GetShareStatus() const { return _shareStatus; }
    int GetRecNo() const { return _RecNo; }
    const char *GetFName() const { return _FName.c_str(); }

    void SetSource(KOMBRA_ULONG key) { _source = key; }
    void SetNURVType(int type) { _NURVType = type; }
    void SetStatus(FileStatusType status) { _Status = status; }
    // Copies name (at most 33 characters).
    void SetVirtualName(const char *name);
    void SetBTime(unsigned yr, unsigned day, unsigned msec) { _BegTm.SetTime(yr, day, msec); }
    void SetETime(unsigned yr, unsigned day, unsigned msec) { _EndTm.SetTime(yr, day, msec); }

    // Virtual name, the FILENAME text of the begin and the type's suffix.
    std::string MakeFileName(int which) const;
    // Whether the file at path is readable and no fetch of it runs or
    // ended without finishing (dbFetchState).
    static bool Online(const char *path);
    // The source's path item; NULL (and BAD) when it is not configured.
    const char *GetCFGElement(const char *item);
    // The local path under the source's PostTimePath and the status.
    void FillEntry(int which);
    // The bare file name (catalog not local).
    void FillRemoteEntry(int which);
    void FillEntryCommon(int which, const std::string &path);
    // The header entry's data counterpart, or the other way round (new).
    Entry *ConvertEntry() const;
    // Whether the file is on disk (a description file in either name form).
    bool FileExists();
    void CheckKELDEntry();
    int MakePNUREntry(KOMBRA_ULONG key, shareFileStatusType share);
    int MakeRemotePNUREntry(KOMBRA_ULONG key, shareFileStatusType share);
    int MakePNUREntryCommon(KOMBRA_ULONG key, shareFileStatusType share, const std::string &path);
    int MakeSCFEntry(const char *name, shareFileStatusType share);

private:
    KOMBRA_ULONG _source = 0;
    char _VInst[34] = {};
    TimeObj _BegTm, _EndTm;
    KOMBRA_LONG _Size = 0;
    char _PreProc = '0';
    char _PostProc = '0';
    char _Date[9] = {};
    std::string _FName;
    FileStatusType _Status = OFFLINE;
    FileStatusType _OldStatus = OFFLINE;
    shareFileStatusType _shareStatus = GLOBAL;
    int _NURVType = 0;
    int _RecNo = 0;
};

// The ordered servers of one source (its NetID items).
class CServer {
public:
    enum SQL_STATE : int { MySQL = 0, OLD = 1 };

    CServer() = default;
    explicit CServer(const char *ip) { AddServer(ip); }

    void AddServer(const char *ip);
    // Removes server i while more than one is left; 1 done, 0 not.
    int RemoveServer(int i);
    // The server to try first; -1 without servers.
    int GetCurrentServer() const { return _num_servers == 0 ? -1 : _current_good_server; }
    int GetNumServers() const { return _num_servers; }
    const char *GetServerIPFromID(int i) const;
    SQL_STATE IsSQL(int i) const { return _state[static_cast<size_t>(i)]; }
    void SetSQL(int i, SQL_STATE state) { _state[static_cast<size_t>(i)] = state; }
    // i + 1 (made current) when there is such a server, else -1 with the
    // current server back at 0.
    int GetNextServer(int i);
    // Counts a failure of server i; the fourth of the current server removes
    // it (unless it is the last).  True when it was removed.
    bool ServerFailure(int i);

private:
    int _num_servers = 0;
    int _current_good_server = 0;
    std::vector<SQL_STATE> _state;
    std::vector<int> _failures;
    std::vector<std::string> _ip_addr;
    std::vector<int> _servers_to_use;
};

class MirrorDatabase;

// One promotion request.
class Promote {
public:
    enum DBPromoteStatus : int { DB_GOOD = 0, DB_NO_DATA = 1, DB_ERROR = 2 };

    Promote(const char *app_name, KOMBRA_BOOL force);
    virtual ~Promote();
    Promote(const Promote &) = delete;
    Promote &operator=(const Promote &) = delete;

    void SetBTime(int yr, int day, long msec);
    void SetETime(int yr, int day, long msec);
    void SetBTime(int yr, int day, int hour, int min, int sec, long msec);
    void SetETime(int yr, int day, int hour, int min, int sec, long msec);
    void SetXStatus(XFileStatusType status) { _XStatus = status; }
    void SetAutoPromoteMeta(KOMBRA_BOOL on) { _autoPromoteMeta = on; }

    void AddSource(KOMBRA_ULONG key);
    void AddSource(const char *project, const char *mission, const char *experiment, const char *instrument,
                   const char *virtual_inst);

    Entry *GetEntry(size_t whichEntry) const;
    size_t GetEntryListSize() const { return _entryList.size(); }
    const char *GetErrorMessage() const { return _error_msg; }
    DBPromoteStatus GetMetaDataExists() const { return _haveMeta; }
    const std::vector<KOMBRA_ULONG> &GetSources() const { return _data_sources; }
    CServer *GetServers(size_t source) const { return _Server[source]; }

    // Listing: the entries of type bits which whose status matches, at
    // most limit of them; the number added, or -1.
    int BuildDBList(int which, FileStatusType status, int limit);
    int BuildDBIntersectionList(int which, FileStatusType status, int limit);
    // Fetching: 1 when every listed entry was fetched (or none is listed).
    int PromoteList();
    int PromoteSingleEntry(int index, Entry *e, int src);
    int PromoteHDI(Entry *e, const char *ip);
    KOMBRA_BOOL DemoteAllData(KOMBRA_BOOL force);
    // Catalog rows of the request's range for the sources: from a remote
    // MySQL catalog (the mirror), else through the catalog fetch program.
    KOMBRA_BOOL PromoteMeta();
    int PromoteMetaForSource(KOMBRA_ULONG key, int src);
    int PromoteMetaForSource_EXTERNAL(const char *ip, KOMBRA_ULONG key);
    // One of the two source forms: the local key with null names, or the
    // five names with key 0.
    DBPromoteStatus PromoteMetaForSource_MYSQL(const char *which_server, KOMBRA_ULONG local_data_key,
                                               const char *proj = nullptr, const char *miss = nullptr,
                                               const char *exp = nullptr, const char *inst = nullptr,
                                               const char *vinst = nullptr);
    int AutoGetMeta(KOMBRA_ULONG key);

private:
    // The query step of MakeList: the rows of table for the request, at most
    // limit of them; false when the query failed.
    using QueryFn = bool (*)(Promote *request, const char *table, int limit, DbRows &rows);

    void SetupDefaultServers(unsigned src);
    int MakeList(int which, FileStatusType status, int limit, QueryFn query);
    bool RegularQuery(const char *table, int limit, DbRows &rows);
    bool IntersectionQuery(const char *table, int limit, DbRows &rows);
    static bool RegularQueryCallback(Promote *request, const char *table, int limit, DbRows &rows);
    static bool IntersectionQueryCallback(Promote *request, const char *table, int limit, DbRows &rows);
    int SQL_BuildDBList(int which, FileStatusType status, int limit);
    int Tarvo_BuildDBList(int which, FileStatusType status, int limit);
    // The dBASE catalog tables of the source in use (suffix "I" or "HD").
    int OpenDatabase(const char *suffix, int *dbf, int *ndx);
    void CloseDatabase(int dbf, int ndx);
    // One field of the current record, read only when it has the type read
    // (a character field without trailing blanks, a numeric field as a whole
    // number); 0 with "Error with database!" printed and kept, else 1.
    int GetField(int dbf, const char *name, std::string &value);
    int GetField(int dbf, const char *name, long &value);
    void DatabaseError();
    // V_INST and the begin and end times of the current record; 1 or 0.
    int FillInfoFromDB(int dbf, std::string &vinst, TimeObj &beg, TimeObj &end);
    int FindEntry(int dbf, int ndx);
    int MakeList(int &dbf, int &ndx, const char *suffix, int which, FileStatusType status, int limit);
    void Keep(Entry *e, FileStatusType status, int &added, bool front = false);
    void SetError(const char *format, ...) __attribute__((format(printf, 2, 3)));

    // The progress window (Kestrun).
    void InitializeKestrun(int count);
    void WritePipeMessage(const char *text);
    void CloseKestrun();

    std::vector<Entry *> _entryList;
    std::vector<int> _ServerUsed;
    char _error_msg[256] = {};
    std::vector<KOMBRA_ULONG> _data_sources;
    std::vector<CServer *> _Server;
    TimeObj *_btime = nullptr;
    TimeObj *_etime = nullptr;
    std::string _app_name;
    XFileStatusType _XStatus = ON;
    int _src_in_use = 0;
    int _PipeFD = 0;
    KOMBRA_BOOL _autoPromoteMeta = sTrue;
    KOMBRA_BOOL _forcePromote = sFalse;
    DBPromoteStatus _haveMeta = DB_GOOD;
    MirrorDatabase *_mirror = nullptr;
    // How the latest failed fetch ended, for the line of a failed promotion.
    std::string _fetch_failure;
    // The latest failed fetch failed whatever the server: no other is tried.
    bool _stop_entry = false;
};

// How a program run by RunProgram ended.
struct ProgramEnd {
    int status = -1;          // the wait status; -1 when it could not be started
    bool timedOut = false;    // stopped at the time limit
    bool stopped = false;     // stopped as the program is ending (pro_EndFetches)
    bool notStarted = false;  // not started, as the program is ending
    int limitSeconds = 0;
    // "<name> exited with status 1", "<name> did not end within 300 s and
    // was stopped", ...
    std::string Describe(const std::string &name) const;
};

// Runs program with the argument vector words (words[0] its argv[0])
// without a shell, in a process group of its own, and waits for it at most
// the fetch time limit, calling watch and the wait hook while it waits.  A
// program still running then is sent SIGTERM, its process group SIGKILL a
// little later, and one line saying so is printed; so is a program running
// when pro_EndFetches asks the fetches to end (without the line), and none
// is started after that.  A program named without a '/' is looked for on
// PATH, as a shell would.  The descriptor inherit, unless -1, stays open in
// the program under its own number (its other descriptors of this program
// close).  started is called with the program's process id (the id of its
// process group) once it runs.
ProgramEnd RunProgram(const char *program, std::vector<std::string> words,
                      const std::function<void()> &watch = {}, int inherit = -1,
                      const std::function<void(long)> &started = {});
// RunProgram with the arguments up to the first null pointer; the wait
// status (0: a normal exit with status 0), or -1 when it could not be
// started or was stopped at the time limit.
int _Process(const char *program, ...);
// The time limit of a fetch program in seconds: KOMBRA_FETCH_TIMEOUT (the
// environment, then kombra.cfg), 300 when it is unset or not a whole number
// of 1 to 86400; a value of the latter kind is announced in one line on the
// standard output (once for each value).
int pro_FetchTimeLimit();

// Starts or reaches the progress window: the connected socket, 0 when none
// could be reached, -1 when no socket could be made.
int _StartKestrun();
// How long the progress-window start waits before connecting and between
// its tries (2000 ms; tests shorten it).
void pro_SetKestrunWait(int msec);
