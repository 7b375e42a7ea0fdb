/* Private to libKELD: the item table that the readers of every description
 * format share, the caller's buffer with its capacity, the conversion of one
 * stored value into an item's form, and item requests against a loaded
 * description.
 *
 * A request (KeldRequest) names the item, its structure number, start, len
 * and the caller's buffer.  Each format has one reader taking a request: the
 * key map of a text description is read by KeldReadTextItem, the older
 * binary image by KeldReadOldItem; KeldLoaded holds either. */
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>

#include "libKELD.h"

/* Result form of an item (the element form for the arrays). */
enum class KeldForm : uint8_t {
    None,        /* nothing is written */
    Char,        /* 8-bit */
    Short,       /* 16-bit */
    Long,        /* 32-bit integer */
    Float,       /* 32-bit float */
    CharPtr,     /* one char pointer */
    CharPtrs,    /* char pointer per value */
    CharArray,
    ShortArray,
    LongArray,
    FloatArray,
    Shorts3      /* three shorts (_PA_BXBYBZ) */
};

/* One row of the item table. */
struct KeldItemDef {
    KELD_DEFS code;
    const char *name;   /* the enumerator's name */
    const char *key;    /* text-format key pattern: %s the root, %d the
                           structure number; nullptr when there is none */
    KeldForm form;
    uint16_t ir_size;   /* element size in the older binary format; 0: no slot */
};

/* The row of item what; nullptr outside 0 .. 128. */
const KeldItemDef *KeldItem(int what);
/* All 129 rows in code order. */
std::span<const KeldItemDef> KeldItems();
/* The key of item with which for %d; empty when the item has none. */
std::string KeldItemKey(const KeldItemDef &item, int which);
/* The values of item what (its row item) with which for %d in keld. */
std::span<const keld_entry> KeldFindItem(const keld_map *keld, int what, const KeldItemDef &item, int which);

/* Form of one element of form (the scalar form itself for scalars). */
KeldForm KeldElementForm(KeldForm form);
/* Bytes of one element of form; 0 for None. */
size_t KeldElementSize(KeldForm form);
/* True for the forms that write one element per value. */
bool KeldIsList(KeldForm form);

/* The caller's memory.  capacity is in bytes; kUnchecked when the caller
 * vouches for the size (the public unchecked entry points).  A write that
 * does not fit is not made and marks the request as overflowed: the readers
 * then answer KELD_SHORT_BUFFER, so that a checked caller never takes a cut
 * list for the whole. */
class KeldDest {
public:
    static constexpr size_t kUnchecked = std::numeric_limits<size_t>::max();

    KeldDest(void *var, size_t capacity)
        : base_(static_cast<unsigned char *>(var)), capacity_(var != nullptr ? capacity : 0)
    {
    }

    /* Number of elements of size bytes that fit. */
    size_t Room(size_t size) const { return size == 0 ? 0 : capacity_ / size; }
    bool Fits(size_t index, size_t size) const { return index < Room(size); }

    /* Writes value as element index; false (nothing written) when it does
     * not fit. */
    template <typename T>
    bool Put(size_t index, const T &value)
    {
        if (!Fits(index, sizeof(T))) {
            overflowed_ = true;
            return false;
        }
        std::memcpy(base_ + index * sizeof(T), &value, sizeof(T));
        return true;
    }

    /* Copies the first n bytes of from to the start of the buffer, cut to
     * whole elements of size bytes when they do not all fit; the number of
     * bytes copied. */
    size_t PutBytes(const void *from, size_t n, size_t size)
    {
        if (n > capacity_) {
            n = size == 0 ? 0 : capacity_ / size * size;
            overflowed_ = true;
        }
        if (n > 0)
            std::memcpy(base_, from, n);
        return n;
    }

    /* Marks an element that was not written for want of room. */
    void Overflow() { overflowed_ = true; }
    bool Overflowed() const { return overflowed_; }

private:
    unsigned char *base_;
    size_t capacity_;
    bool overflowed_ = false;
};

/* The stored 32 bits of a value: an int or float unchanged, a char in the
 * low byte with the rest zero, a string pointer's low 32 bits. */
uint32_t KeldBits(const value_s &value, keld_value_type type);

/* Writes one stored value as element index of the scalar form element into
 * dest: the low 8 or 16 bits or all 32, never converted between int and
 * float; a char pointer for a string, and a pointer to an empty string for a
 * value that is not one.  False when it does not fit. */
bool KeldPut(KeldDest &dest, KeldForm element, size_t index, const value_s &value,
             keld_value_type type);
/* Writes a zero element of the scalar form element. */
bool KeldPutZero(KeldDest &dest, KeldForm element, size_t index);

/* One item request. */
struct KeldRequest {
    void *var;
    size_t capacity;  /* bytes at var, or KeldDest::kUnchecked */
    int what;         /* KELD_DEFS code, unchecked */
    int num;          /* structure number */
    int start;        /* first element (per-element and slice items) */
    int len;          /* element count, -1 for all */
};

/* Serves a request from the key map of a text description: 1, -811 or
 * KELD_SHORT_BUFFER (the rules are in keld_items_text.cpp; with a checked
 * capacity, also when the answer holds more elements than fit). */
int KeldReadTextItem(const keld_map *map, const KeldRequest &request);

/* Serves a request from an older binary image: 1, a code of the older
 * format (-805 .. -808, -811) or KELD_SHORT_BUFFER (rules in keld_old.cpp). */
int KeldReadOldItem(const keld_info *image, const KeldRequest &request);

/* A loaded description as the registry keeps it: one of the two is set. */
struct KeldLoaded {
    const keld_map *map = nullptr;   /* key map of a text description */
    const keld_info *old = nullptr;  /* image of an older description */
};
/* Serves a request from whichever format is loaded; -811 when nothing is. */
int KeldReadItem(const KeldLoaded &loaded, const KeldRequest &request);

/* Drops every cache element of the loaded description keld_ptr (when it is
 * freed, so that a later description at the same address starts clean). */
void KeldForgetCached(const void *keld_ptr);
