// The line layer of the flat and CEF reader: the streams of the file being
// read and of its INCLUDE files (300 slots), physical lines (quotes, CEF 2
// backslash continuations, control characters dropped), logical lines
// (comments dropped, continued records joined, lines skipped by '&' and by
// the start-after marker), positions across INCLUDE files and the warnings
// of a read.  The state is process-wide: one read at a time.
#include "kve_read_int.h"
#include "kve_int.h"

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

KvYearState kv_reader_year;

namespace {

constexpr int kSlots = 300;

struct Slot {
    FILE *fp = nullptr;
    int from = -1;       // the slot it was included from
    std::string name;    // its INCLUDE name
    fpos_t from_pos{};   // the including stream just after the INCLUDE line
    bool has_from_pos = false;
};

struct Lines {
    std::array<Slot, kSlots> slots;
    int last = -1;
    int current = -1;
    std::string include_dir;
    char comment = '!';
    char eol = '\n';
    bool cef2 = false;
    bool header = true;
    bool fixed_columns = false;
    std::string joined;
    std::string physical;
    // The last physical line ended inside an open quote.
    bool quote_open = false;
    KvOptions *options = nullptr;
    std::string file0;               // the path of the file in slot 0
    int status = 0;                  // KV_CORRUPT_FILE once corrupt
    bool escapes = false;            // quoted texts hold our escapes
    // For each stream of the read, the offset up to which a pass has read
    // its lines: a fault before it was warned of (or counted) then.
    std::vector<std::pair<FILE *, long>> scanned;
    // The variables and attributes whose BYTE items above 127 were warned of.
    std::set<std::string> signed_bytes;
    size_t warnings = 0;             // warnings shown
    size_t errors = 0;               // header and record errors shown
    size_t unshown = 0;              // warnings and errors past their cap
    // Characters the read may still take: 16 times the size of every file
    // opened.  Positions restored across INCLUDE files can send the passes
    // back over lines already read; the budget ends such a read.
    size_t budget = 0;
};

Lines &L()
{
    static Lines lines;
    return lines;
}

void AddBudget(FILE *fp)
{
    struct stat st{};
    if (fp != nullptr && ::fstat(fileno(fp), &st) == 0 && st.st_size > 0)
        L().budget += 16 * static_cast<size_t>(st.st_size);
}

// Warnings, and header and record errors, of one read past this many each
// are counted, not given.
constexpr size_t kMaxWarnings = 20;

// The offset up to which the stream's lines were read in this read.
long &Scanned(FILE *fp)
{
    Lines &l = L();
    for (auto &[stream, at] : l.scanned)
        if (stream == fp)
            return at;
    l.scanned.emplace_back(fp, 0L);
    return l.scanned.back().second;
}

void MarkScanned(FILE *fp)
{
    long &at = Scanned(fp);
    at = std::max(at, std::ftell(fp));
}

// False, and the message counted, when the read has shown its cap of
// messages of that kind (`shown` of them).
bool UnderCap(size_t &shown)
{
    Lines &l = L();
    if (shown >= kMaxWarnings) {
        ++l.unshown;
        return false;
    }
    ++shown;
    return true;
}

bool WarningShown() { return UnderCap(L().warnings); }

// "<file> line <n>" of the byte at `offset` of a stream of the read,
// counted without moving the stream.
std::string Place(FILE *fp, long offset)
{
    const Lines &l = L();
    std::string name = "?";
    for (int s = 0; s <= l.last && s < kSlots; ++s)
        if (l.slots[static_cast<size_t>(s)].fp == fp)
            name = s == 0 ? l.file0 : l.slots[static_cast<size_t>(s)].name;
    long line = 1;
    char buf[4096];
    for (long at = 0; at < offset;) {
        const ssize_t n = ::pread(fileno(fp), buf, static_cast<size_t>(std::min<long>(offset - at, sizeof buf)), at);
        if (n <= 0)
            break;
        line += static_cast<long>(std::count(buf, buf + n, '\n'));
        at += n;
    }
    return KvFormat("%s line %ld", name.c_str(), line);
}

// Tells the user (through the alert box and the options' messages) of a
// fault at the byte `offset` of a stream of the read; a corrupt file ends
// the read, and its reason is kept.
void Fault(bool corrupt, FILE *fp, long offset, const char *what)
{
    Lines &l = L();
    // The passes over a file meet its lines more than once: a place an
    // earlier pass read was warned of (or counted) then.  Past the cap a
    // warning is counted, and nothing of it kept.
    if (!corrupt && (offset < Scanned(fp) || !WarningShown()))
        return;
    const std::string place = Place(fp, offset);
    const std::string text = KvFormat("KVE %s: %s: %s", corrupt ? "Error" : "Warning", place.c_str(), what);
    KvDisplayMessage(text.c_str(), l.options);
    KveAlertBox(corrupt ? "KVE Import ERROR" : "KVE Import warning", text.c_str());
    if (corrupt) {
        KvNoteFileError("Cannot read", place + ": " + what);
        l.status = KV_CORRUPT_FILE;
    }
}

// True when the file of `path` is the file of the current slot or of one
// it was included from.
bool BeingRead(const std::string &path)
{
    const Lines &l = L();
    struct stat target{};
    if (path.empty() || ::stat(path.c_str(), &target) != 0)
        return false;
    for (int s = l.current; s >= 0 && s <= l.last; s = l.slots[static_cast<size_t>(s)].from) {
        struct stat st{};
        FILE *fp = l.slots[static_cast<size_t>(s)].fp;
        if (fp != nullptr && ::fstat(fileno(fp), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
        if (s == 0)
            break;
    }
    return false;
}

std::string Trim(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\n");
    return s.substr(b, e - b + 1);
}

// Opens an INCLUDE file in the next slot and makes it current; false when
// the line is to be dropped, with *stop set when the read must end.
bool Include(const std::string &name, bool *stop)
{
    Lines &l = L();
    // A file that includes itself, or a file it was included from, would
    // be read without end.
    if (BeingRead(KvSafePath(KvJoinPath(l.include_dir.c_str(), name.c_str(), "").c_str()))) {
        FILE *fp = l.slots[static_cast<size_t>(l.current)].fp;
        Fault(true, fp, std::ftell(fp) - 1, ("INCLUDE loop: " + name + " is being read").c_str());
        *stop = true;
        return false;
    }
    int open = -1;
    if (KvFindAlreadyOpen(name.c_str(), &open) == 1) {
        l.current = open;
        return true;
    }
    if (l.last + 1 >= kSlots) {
        KveAlertBox("Error", "Too many recursions in included files");
        *stop = true;
        return false;
    }
    FILE *fp = KvOpenFile("r", l.include_dir.c_str(), name.c_str(), "");
    if (fp == nullptr) {
        KveAlertBox("Failed to include file ", name.c_str());
        return false;
    }
    Slot &s = L().slots[static_cast<size_t>(++l.last)];
    s.fp = fp;
    s.from = l.current;
    s.name = name;
    AddBudget(fp);
    s.has_from_pos = std::fgetpos(l.slots[static_cast<size_t>(l.current)].fp, &s.from_pos) == 0;
    l.current = l.last;
    return true;
}

}  // namespace

void KvLinesReset(const char *dir, KvOptions *options)
{
    KvLinesCloseAll(nullptr);
    Lines &l = L();
    l.include_dir = dir != nullptr ? dir : "";
    l.comment = '!';
    l.eol = '\n';
    l.cef2 = false;
    l.header = true;
    l.fixed_columns = false;
    l.options = options;
    l.file0.clear();
    l.status = 0;
    l.escapes = false;
    l.scanned.clear();
    l.signed_bytes.clear();
    l.warnings = 0;
    l.errors = 0;
    l.unshown = 0;
}

bool KvReadErrorShown() { return UnderCap(L().errors); }

void KvReadError(const std::string &text, KvOptions *options)
{
    if (KvReadErrorShown())
        KvDisplayMessage(text.c_str(), options);
}

void KvReadWarning(const std::string &text)
{
    if (!WarningShown())
        return;
    KvDisplayMessage(text.c_str(), L().options);
    KveAlertBox("KVE Import warning", text.c_str());
}

void KvWarnSignedByte(const std::string &owner, long long value)
{
    if (value <= INT8_MAX || !L().signed_bytes.insert(owner).second)
        return;
    KvReadWarning(KvFormat("KVE Warning: BYTE items of %s above 127 are read as signed bytes (%lld as %d)",
                           owner.c_str(), value, static_cast<int>(static_cast<int8_t>(value))));
}

void KvLinesReportUnshown()
{
    Lines &l = L();
    if (l.unshown == 0)
        return;
    const std::string text = KvFormat("KVE Warning: %zu more warnings and errors of this read not shown", l.unshown);
    KvDisplayMessage(text.c_str(), l.options);
    KveAlertBox("KVE Import warning", text.c_str());
    l.unshown = 0;
}

void KvLinesNameFile(const std::string &path) { L().file0 = path; }
void KvLinesSetEscapes(bool on) { L().escapes = on; }
bool KvLinesEscapes() { return L().escapes; }
int KvLinesStatus() { return L().status; }
void KvLinesFixedColumns(bool on) { L().fixed_columns = on; }
bool KvLinesCef2() { return L().cef2; }

void KvLinesCloseAll(FILE *keep)
{
    Lines &l = L();
    for (int s = 0; s <= l.last && s < kSlots; ++s) {
        Slot &slot = l.slots[static_cast<size_t>(s)];
        if (slot.fp != nullptr && slot.fp != keep) {
            std::erase_if(l.scanned, [&slot](const auto &mark) { return mark.first == slot.fp; });
            std::fclose(slot.fp);
        }
        slot = Slot{};
    }
    l.last = -1;
    l.current = -1;
    l.joined.clear();
    l.budget = 0;
}

void KvLinesSetFile(FILE *fp)
{
    Lines &l = L();
    l.slots[0] = Slot{};
    l.slots[0].fp = fp;
    l.last = 0;
    l.current = 0;
    l.budget = 1 << 16;
    AddBudget(fp);
}

FILE *KvLinesCurrentStream()
{
    const Lines &l = L();
    return l.current >= 0 && l.current <= l.last ? l.slots[static_cast<size_t>(l.current)].fp : nullptr;
}

void KvLinesSetEndOfLine(char mark) { L().eol = mark; }
void KvLinesSetComment(char mark) { L().comment = mark; }
char KvLinesComment() { return L().comment; }
void KvLinesSetCef2(bool on) { L().cef2 = on; }
void KvLinesSetHeaderMode(bool on) { L().header = on; }

const char *KvGetLine(FILE *fp)
{
    Lines &l = L();
    std::string &buf = l.physical;
    buf.clear();
    if (fp == nullptr)
        return nullptr;
    l.quote_open = false;
    if (l.status != 0)
        return nullptr;
    bool quoted = false;
    bool textWarned = false;  // the quoted text was warned of a dropped character
    bool cut = false;
    int ch = 0;
    while (l.budget > 0 && (ch = std::getc(fp)) != EOF) {
        --l.budget;
        if (ch == '\r') {
            // A CR before a line feed is the line end of a CRLF line.
            const int next = std::getc(fp);
            if (next != EOF)
                std::ungetc(next, fp);
            if (next == '\n')
                continue;
        }
        if (ch == '\f' || ch == '\v' || ch == '\a' || ch == '\r') {
            // Our writers escape them in texts; one inside a quoted text of
            // another writer's file is lost, and the user told once a text.
            if (quoted && !textWarned) {
                textWarned = true;
                Fault(false, fp, std::ftell(fp) - 1, "a control character in a quoted text is dropped");
            }
            continue;
        }
        if (ch == '\0') {
            // No text file holds one: what follows it cannot be trusted.
            Fault(true, fp, std::ftell(fp) - 1, "NUL byte");
            return nullptr;
        }
        if (ch == '"' && !(l.fixed_columns && !l.header)) {
            quoted = !quoted;
            textWarned = false;
        }
        if (l.cef2 && ch == '\\' && !quoted) {
            // A continuation: the rest of this physical line goes.
            while ((ch = std::getc(fp)) != EOF && ch != '\n') {
            }
            if (ch == EOF)
                break;
            continue;
        }
        if (ch == '\n' || (ch == l.eol && !quoted)) {
            if (quoted && ch == '\n') {
                Fault(false, fp, std::ftell(fp) - 1, "a quote runs over the end of the line");
                l.quote_open = true;
            }
            buf += static_cast<char>(ch);
            MarkScanned(fp);
            return buf.c_str();
        }
        if (buf.size() < kMaxPhysicalLine) {
            buf += static_cast<char>(ch);
        } else if (!cut) {
            // What a line holds past the reader's limit is dropped, and
            // the user told.
            cut = true;
            Fault(false, fp, std::ftell(fp) - 1,
                  KvFormat("a line of more than %zu characters is cut", kMaxPhysicalLine).c_str());
        }
    }
    MarkScanned(fp);
    return buf.empty() ? nullptr : buf.c_str();
}

const char *KvReadLine(char *marker)
{
    Lines &l = L();
    l.joined.clear();
    bool pending = false;
    for (;;) {
        if (l.current < 0 || l.current > l.last)
            return nullptr;
        Slot &slot = l.slots[static_cast<size_t>(l.current)];
        const char *p = KvGetLine(slot.fp);
        if (p == nullptr) {
            // The end of the file being read is the end of the input; an
            // INCLUDE file is rewound and reading goes back to its includer.
            if (l.current == 0 || slot.from < 0)
                return pending ? l.joined.c_str() : nullptr;
            std::rewind(slot.fp);
            l.current = slot.from;
            if (pending)
                return l.joined.c_str();
            continue;
        }
        const bool quoteOpen = l.quote_open;
        std::string line = p;
        const size_t start = line.find_first_not_of(" \t");
        const std::string indent = line.substr(0, start == std::string::npos ? line.size() : start);
        line.erase(0, indent.size());
        if (line.empty() || line[0] == '!' || line[0] == l.comment || line[0] == '\n')
            continue;
        if (l.header && !pending) {
            std::string key, value;
            if (KvParseParamValue(line.c_str(), key, value) == 0 && KvUpper(key).starts_with("INCLUDE")) {
                char *name = KvStripQuotes(value.c_str());
                bool stop = false;
                const std::string n = name != nullptr ? name : "";
                if (name != STR_NULL)
                    std::free(name);
                Include(Trim(n), &stop);
                if (stop)
                    return nullptr;
                continue;
            }
        }
        if (line[0] == '&') {
            std::string key, value;
            const std::string count = KvParseParamValue(line.c_str(), key, value) == 0 ? value : line.substr(1);
            long skip = std::strtol(count.c_str(), nullptr, 10);
            while (skip-- > 0 && KvGetLine(slot.fp) != nullptr) {
            }
            continue;
        }
        if (marker != nullptr && *marker != '\0') {
            if (line.find(marker) != std::string::npos)
                *marker = '\0';
            continue;
        }
        if (pending && !l.joined.empty() && l.joined.back() == '\n')
            l.joined.pop_back();
        if (l.fixed_columns && !pending)
            l.joined += indent;
        l.joined += line;
        if (!l.joined.empty() && l.joined.back() == l.eol) {
            l.joined.pop_back();
            return l.joined.c_str();
        }
        // A record whose quote was left open ends with its line: the next
        // record is not taken into its text.
        if (quoteOpen && !l.header) {
            if (!l.joined.empty() && l.joined.back() == '\n')
                l.joined.pop_back();
            return l.joined.c_str();
        }
        pending = true;
    }
}

int Kvfgetpos(fpos_t *pos, int *slot)
{
    Lines &l = L();
    *slot = l.current;
    if (l.current < 0 || l.current > l.last || l.slots[static_cast<size_t>(l.current)].fp == nullptr)
        return -1;
    return std::fgetpos(l.slots[static_cast<size_t>(l.current)].fp, pos) == 0 ? 0 : -1;
}

int Kvfsetpos(const fpos_t *pos, int slot)
{
    Lines &l = L();
    if (slot < 0 || slot > l.last)
        return -1;
    // Nothing is rewound unless the slot is the current one or one it was
    // included from.
    int s = l.current;
    while (s >= 0 && s <= l.last && s != slot)
        s = l.slots[static_cast<size_t>(s)].from;
    if (s != slot)
        return -1;
    for (s = l.current; s != slot; s = l.slots[static_cast<size_t>(s)].from)
        if (l.slots[static_cast<size_t>(s)].fp != nullptr)
            std::rewind(l.slots[static_cast<size_t>(s)].fp);
    l.current = slot;
    Slot &target = l.slots[static_cast<size_t>(slot)];
    if (slot > 0 && target.from >= 0 && target.has_from_pos) {
        FILE *parent = l.slots[static_cast<size_t>(target.from)].fp;
        if (parent != nullptr)
            std::fsetpos(parent, &target.from_pos);
    }
    if (target.fp == nullptr)
        return -1;
    if (pos == nullptr) {
        std::rewind(target.fp);
        return 0;
    }
    return std::fsetpos(target.fp, pos) == 0 ? 0 : -1;
}

int KvFindAlreadyOpen(const char *name, int *slot)
{
    Lines &l = L();
    for (int s = 1; s <= l.last; ++s) {
        if (l.slots[static_cast<size_t>(s)].fp != nullptr && l.slots[static_cast<size_t>(s)].name == name) {
            *slot = s;
            return 1;
        }
    }
    return 0;
}

int KvParseParamValue(const char *line, std::string &key, std::string &value)
{
    const std::string s = line != nullptr ? line : "";
    const size_t eq = s.find('=');
    key = Trim(s.substr(0, eq));
    value.clear();
    if (eq == std::string::npos || key.empty())
        return KV_SYNTAX;
    bool quoted = false;
    size_t end = eq + 1;
    for (; end < s.size(); ++end) {
        if (s[end] == '"')
            quoted = !quoted;
        else if ((s[end] == '!' && !quoted) || s[end] == '\n')
            break;
    }
    const std::string raw = s.substr(eq + 1, end - eq - 1);
    if (raw.empty())
        return 0;
    value = Trim(raw);
    if (value.empty())
        value = " ";
    return 0;
}

std::vector<std::string> KvSplitItems(char delim, const std::string &text, bool quoted, long limit)
{
    std::vector<std::string> items;
    std::string item;
    bool inQuotes = false;
    auto flush = [&] {
        if (!item.empty() && static_cast<long>(items.size()) < limit)
            items.push_back(item);
        item.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted && ch == '"')
            inQuotes = !inQuotes;
        if (!inQuotes && ch == '!' && item.empty())
            break;
        if (quoted && !inQuotes && ch == '!')
            break;
        if (!inQuotes && ch == delim) {
            flush();
            continue;
        }
        item += ch;
    }
    flush();
    return items;
}

namespace {

long ToItems(const std::vector<std::string> &found, char ***items)
{
    *items = static_cast<char **>(std::calloc(found.size() + 1, sizeof(char *)));
    if (*items == nullptr)
        return 0;
    for (size_t i = 0; i < found.size(); ++i)
        (*items)[i] = KvNewStr(found[i].c_str());
    return static_cast<long>(found.size());
}

}  // namespace

long KvParseEntry(char delim, const char *text, char ***items)
{
    return ToItems(KvSplitItems(delim, text != nullptr ? text : "", false), items);
}

long KvParseQuotedEntry(char delim, const char *text, char ***items)
{
    return ToItems(KvSplitItems(delim, text != nullptr ? text : "", true), items);
}

void KvFreeItems(char **items, long n)
{
    if (items == nullptr)
        return;
    for (long i = 0; i < n; ++i)
        if (items[i] != STR_NULL)
            std::free(items[i]);
    std::free(items);
}

std::string KvUpper(const std::string &text)
{
    std::string s = text;
    for (char &ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

char *KvToUpper(const char *text)
{
    static std::string buffer;
    std::string s = text != nullptr ? text : "";
    if (s.size() > 1999) {
        KveAlertBox("warning", "Input parameter string too long");
        s.resize(2000);
    }
    buffer = KvUpper(s);
    return buffer.data();
}
