// The older binary description format: files of the fixture writer loaded
// and read item by item, faulty files refused with a status, and one
// description written in both formats answering alike.
#include "keld_fixture.h"
#include "keld_items_int.h"
#include "keld_test_util.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

using kombra_fixtures::KeldOldImage;
using kombra_fixtures::KeldText;
using kombra_test::TempDir;

namespace {

struct ImageDeleter {
    void operator()(keld_info *image) const
    {
        free_keld_structure(image);
        std::free(image);
    }
};
using ImagePtr = std::unique_ptr<keld_info, ImageDeleter>;

ImagePtr NewImage()
{
    keld_info *image = nullptr;
    EXPECT_EQ(1, create_keld_structure(&image));
    return ImagePtr(image);
}

// The fixture's description with a table of 21-byte strings as its last.
KeldText Halde()
{
    KeldText k = kombra_fixtures::HaldeDescription();
    k.Int("Table2.tbl_ele_sz", 2).Char("Table2.tbl_type", 1).Strings("Table2.values", {"first", "second"});
    k.Ints("PitchAngle.opers", {-2, 7}).Int("PitchAngle.num_tbls", 2);
    return k;
}

int Parse(const std::vector<unsigned char> &bytes, ImagePtr &image)
{
    image = NewImage();
    return ParseOldKELDBytes(image.get(), bytes.data(), bytes.size());
}

// One element as the test compares it: unwritten, a number, a float's bits
// as a number, a string, or the null pointer.
using V = std::variant<std::monostate, long long, std::string, std::nullptr_t>;
constexpr unsigned char kFill = 0xAB;

V Element(const unsigned char *at, KeldForm form)
{
    const size_t size = KeldElementSize(form);
    if (std::all_of(at, at + size, [](unsigned char b) { return b == kFill; }))
        return std::monostate{};
    switch (KeldElementForm(form)) {
    case KeldForm::CharPtr: {
        const char *text = nullptr;
        std::memcpy(&text, at, sizeof text);
        return text == nullptr ? V(nullptr) : V(std::string(text));
    }
    case KeldForm::Char: return static_cast<long long>(static_cast<int8_t>(at[0]));
    case KeldForm::Short: {
        int16_t v;
        std::memcpy(&v, at, 2);
        return static_cast<long long>(v);
    }
    default: {
        int32_t v;
        std::memcpy(&v, at, 4);
        return static_cast<long long>(v);
    }
    }
}

struct Answer {
    int status = 0;
    std::vector<V> elements;  // 16 elements of the item's form
};

Answer ReadOld(const keld_info *image, int what, int num, int start, int len, size_t room = 16)
{
    const KeldForm form = KeldItem(what)->form;
    const size_t size = std::max<size_t>(KeldElementSize(form), 1);
    std::vector<unsigned char> buf(16 * size + 64, kFill);
    Answer a;
    a.status = ReadOldKELDChecked(image, buf.data(), room * size, static_cast<KELD_DEFS>(what),
                                  static_cast<KOMBRA_SHORT>(num), start, static_cast<KOMBRA_SHORT>(len));
    for (size_t i = 0; i < 16; ++i)
        a.elements.push_back(Element(buf.data() + i * size, form));
    for (size_t b = room * size; b < buf.size(); ++b)
        EXPECT_EQ(kFill, buf[b]) << "written past the buffer, item " << what;
    return a;
}

class OldFormat : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, Parse(bytes, image)); }

    // The elements of a request up to the first unwritten one.
    std::vector<V> Read(int what, int num, int start, int len, int status = 1)
    {
        Answer a = ReadOld(image.get(), what, num, start, len);
        EXPECT_EQ(status, a.status) << KeldItem(what)->name;
        std::vector<V> out;
        for (const V &v : a.elements) {
            if (std::holds_alternative<std::monostate>(v))
                break;
            out.push_back(v);
        }
        return out;
    }

    KeldOldImage layout = kombra_fixtures::OldImageOf(Halde());
    std::vector<unsigned char> bytes = layout.Bytes();
    ImagePtr image;
};

using L = std::vector<V>;

TEST_F(OldFormat, LoadsTheFileWhole)
{
    EXPECT_STREQ("V2.1", image->version);
    EXPECT_EQ(3u, image->TABLES);
    EXPECT_EQ(2u, image->CONSTS);
    EXPECT_EQ(layout.data.size(), image->data_len);
    EXPECT_EQ(8 + 4 + 288 + 4 + 4 + 46 * 4 + 4 + 4 + 11 * 4 + 4, image->info_off);
    EXPECT_EQ(0, std::memcmp(bytes.data() + image->info_off, image->keld_data, image->data_len));

    TempDir dir;
    kombra_test::WriteBytes(dir.file("X20030010000I"), bytes);
    ImagePtr fromFile = NewImage();
    EXPECT_STATUS(1, ParseOldKELD(fromFile.get(), dir.file("X20030010000I").c_str()));
    EXPECT_EQ(image->data_len, fromFile->data_len);
    // Absent, a FIFO (whose open would wait for a writer) or a device: not
    // online.
    mkfifo(dir.file("fifo").c_str(), 0600);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero"));
    for (const char *name : {"absent", "fifo", "zero"}) {
        SCOPED_TRACE(name);
        EXPECT_STATUS(KELD_NOT_ONLINE, ParseOldKELD(fromFile.get(), dir.file(name).c_str()));
        EXPECT_EQ(nullptr, fromFile->keld_data);
    }
}

TEST_F(OldFormat, ItemsAsStored)
{
    EXPECT_EQ(L{"CLUSTERII"}, Read(_MISSION, 0, 0, -1));  // one pointer, not one per sensor
    EXPECT_EQ(L{"polar 2"}, Read(_SEN_NAME, 2, 0, 1));
    EXPECT_EQ((L{"polar 2", "polar 3"}), Read(_SEN_NAME, 2, 0, -1));  // the rest of the item only
    EXPECT_EQ((L{"HALDE instrument team", "halde-team@example.org", "", "", ""}), Read(_CONTACT, 0, 0, 1));
    EXPECT_EQ(L{"MAG"}, Read(_PA_VINST, 0, 0, -1));
    EXPECT_EQ((L{2LL, 4LL}), Read(_STATES, 0, 0, -1));
    EXPECT_EQ((L{2LL, 4LL}), Read(_STATES, 0, 0, 0));  // len 0 is the whole item here
    EXPECT_EQ(L{4LL}, Read(_STATES, 0, 1, 1));
    EXPECT_EQ((L{250LL, 375LL}), Read(_TIME_OFF, 0, 2, -1));
    EXPECT_EQ((L{1010LL, 1011LL, 1012LL}), Read(_TBL, 1, 10, 3));
    char *names[3] = {};  // a table of strings gives pointers, not longs
    EXPECT_STATUS(1, ReadOldKELD(image.get(), 0, names, _TBL, 2, 1, -1));
    EXPECT_STREQ("second", names[0]);
    EXPECT_EQ(nullptr, names[1]);
    EXPECT_EQ((L{-2LL, 7LL}), Read(_PA_OPS, 0, 0, -1));  // 16-bit, widened, count from _PA_APPS
    EXPECT_EQ((L{0LL, 1LL, 2LL}), Read(_PA_BXBYBZ, 0, 0, -1));
    EXPECT_EQ((L{0LL}), Read(_NUM_COMNTS, 0, 0, -1));
    EXPECT_EQ((L{201LL, 202LL}), Read(_KELD_CONST, 1, 1, 2));
}

TEST_F(OldFormat, RequestsOutsideAnItemAreRefused)
{
    const auto nothing = [&](int what, int num, int start, int len, int status) {
        EXPECT_EQ(L{}, Read(what, num, start, len, status)) << KeldItem(what)->name;
    };
    nothing(_STATES, 0, 0, 3, KELD_TOO_LONG);  // 3 of 2 copies nothing
    nothing(_STATES, 0, 2, -1, KELD_TOO_LONG);
    nothing(_STATES, 0, -1, 1, KELD_TOO_LONG);
    nothing(_SEN_NAME, 4, 0, -1, KELD_TOO_LONG);
    nothing(_SEN_NAME, 3, 0, 2, KELD_TOO_LONG);
    nothing(_MISSION, 1, 0, 1, KELD_TOO_LONG);
    nothing(_TBL, 0, 30, 3, KELD_TOO_LONG);
    nothing(_PA_OPS, 0, 0, 3, KELD_TOO_LONG);
    nothing(_COMMENTS, 0, 0, -1, KELD_ITEM_EMPTY);
    nothing(_TBL, 3, 0, -1, KELD_BAD_TABLE);
    nothing(_TBL_TYPE, -1, 0, -1, KELD_BAD_TABLE);
    nothing(_KELD_CONST, 2, 0, -1, KELD_BAD_CONST);
    for (int what : {_STATE, _PA_BX, _PA_BY, _PA_BZ})
        nothing(what, 0, 0, -1, KELD_ITEM_ABSENT);
    char *p[4];
    EXPECT_STATUS(KELD_ITEM_ABSENT, read_nur_memory(image.get(), p, _VERSION, 0, 0, -1));
    EXPECT_STATUS(KELD_SHORT_BUFFER, ReadOld(image.get(), _TBL, 0, 0, -1, 0).status);
    const Answer cut = ReadOld(image.get(), _TBL, 0, 0, -1, 3);  // cut at the buffer's 3 elements
    EXPECT_EQ(3, std::count_if(cut.elements.begin(), cut.elements.end(),
                               [](const V &v) { return !std::holds_alternative<std::monostate>(v); }));
    testing::internal::CaptureStderr();
    EXPECT_STATUS(KELD_DISK_MODE, ReadOldKELD(image.get(), 3, p, _MISSION, 0, 0, -1));
    EXPECT_EQ("read_nur_disk no longer supported!!!\n", testing::internal::GetCapturedStderr());
}

TEST_F(OldFormat, LaterItemsHaveFixedAnswers)
{
    EXPECT_EQ(L{static_cast<long long>(std::bit_cast<int32_t>(2.1f))}, Read(_VERSION, 0, 0, -1));
    EXPECT_EQ(L{-6LL}, Read(_SEN_RESET_UNITS, 0, 0, -1));  // 250 as a char
    EXPECT_EQ(L{1LL}, Read(_HEADER_FORMAT, 0, 0, -1));
    EXPECT_EQ(L{1LL}, Read(_PMI_FORMAT, 0, 0, -1));
    EXPECT_EQ(L{nullptr}, Read(_PMI_PROJECT, 0, 0, -1));  // a whole null pointer
    EXPECT_EQ(L{0LL}, Read(_PMI_SENSORS, 0, 0, -1));
    EXPECT_EQ((L{0LL, 0LL}), Read(_CAL_SCOPE, 0, 0, -1));
    EXPECT_EQ((L{0LL, 0LL, 0LL, 0LL}), Read(_SPIN_TIME_OFF, 0, 0, -1));
    for (int what = _PHI_METHOD; what < KELD_NUM_DEFS; ++what)
        EXPECT_EQ(1, ReadOld(image.get(), what, 0, 0, -1).status) << KeldItem(what)->name;
}

TEST_F(OldFormat, StringsAlwaysEndInTheirSlot)
{
    // Fill the mission and the first pitch-angle name with letters to the
    // last byte; the loaded strings still end inside their 80 and 21 bytes.
    std::fill_n(layout.data.begin() + layout.offsets[_MISSION], 80, 'M');
    std::fill_n(layout.data.begin() + layout.offsets[_PA_PROJECT], 21, 'P');
    ASSERT_EQ(1, Parse(layout.Bytes(), image));
    EXPECT_EQ(L{std::string(79, 'M')}, Read(_MISSION, 0, 0, -1));
    EXPECT_EQ(L{std::string(20, 'P')}, Read(_PA_PROJECT, 0, 0, -1));
}

// Faulty files: each is refused with its status and leaves the image empty.
struct Fault {
    const char *name;
    std::function<void(KeldOldImage &)> edit;
    int status;
};

const Fault kFaults[] = {
    {"EarlierVersion", [](KeldOldImage &i) { i.version = "V2.0"; }, KELD_BAD_VERSION},
    {"ItemListOf71", [](KeldOldImage &i) { i.offsets.pop_back(); }, KELD_CORRUPT},
    {"ItemListOf73", [](KeldOldImage &i) { i.offsets.push_back(i.offsets.back()); }, KELD_CORRUPT},
    {"TableListOneShort", [](KeldOldImage &i) { i.tableOffsets.pop_back(); }, KELD_CORRUPT},
    {"TableCountBeyondItsList", [](KeldOldImage &i) { i.tables = 0xFFFFFFFF; }, KELD_CORRUPT},
    {"ConstantListOneLong", [](KeldOldImage &i) { i.constantOffsets.push_back(i.constantOffsets.back()); },
     KELD_CORRUPT},
    {"ItemOffsetFalls", [](KeldOldImage &i) { i.offsets[10] = i.offsets[9] - 1; }, KELD_CORRUPT},
    {"ItemOffsetNegative", [](KeldOldImage &i) { i.offsets[0] = -4; }, KELD_CORRUPT},
    {"TableOffsetPastTheBlock",
     [](KeldOldImage &i) { i.tableOffsets.back() = static_cast<int32_t>(i.data.size() + 1); }, KELD_CORRUPT},
    {"ConstantOffsetFalls", [](KeldOldImage &i) { i.constantOffsets[3] = 0; }, KELD_CORRUPT},
    {"EndOfItem51PastTheBlock", [](KeldOldImage &i) { i.offsets[52] = static_cast<int32_t>(i.data.size() + 1); },
     KELD_CORRUPT},
    // Entries 53 to 71 of the item list are never read: real files hold zeros there.
    {"UnreadItemOffsetsZero", [](KeldOldImage &i) { std::fill(i.offsets.begin() + 53, i.offsets.end(), 0); }, 1},
    {"NoTablesNoConstants", [](KeldOldImage &i) {
         i.tables = i.constants = 0;
         i.tableOffsets.clear();
         i.constantOffsets = {0};
     }, 1},
};

class OldFormatFaults : public testing::TestWithParam<Fault> {};

TEST_P(OldFormatFaults, AreRefused)
{
    KeldOldImage layout = kombra_fixtures::OldImageOf(Halde());
    GetParam().edit(layout);
    ImagePtr image;
    EXPECT_STATUS(GetParam().status, Parse(layout.Bytes(), image));
    if (GetParam().status != 1) {
        EXPECT_EQ(nullptr, image->keld_data);
        EXPECT_EQ(0u, image->TABLES);
    }
}

INSTANTIATE_TEST_SUITE_P(All, OldFormatFaults, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault> &info) { return std::string(info.param.name); });

TEST(OldFormatFiles, EveryShorterFileIsRefusedAndLongerOnesRead)
{
    std::vector<unsigned char> bytes = kombra_fixtures::OldImageOf(Halde()).Bytes();
    ImagePtr image;
    // Too short to hold "V2.1" is another version; cut anywhere after it, corrupt.
    for (size_t size = 0; size < bytes.size(); ++size)
        ASSERT_EQ(size < 4 ? KELD_BAD_VERSION : KELD_CORRUPT, ParseOldKELDBytes(NewImage().get(), bytes.data(), size))
            << size;
    bytes[12 + 288 + 4] = 61;  // tables_len not a whole number of entries
    EXPECT_STATUS(KELD_CORRUPT, Parse(bytes, image));
    bytes[12 + 288 + 4] = 184;
    bytes.push_back(0);  // trailing bytes are no harm
    EXPECT_STATUS(1, Parse(bytes, image));
}

// A description that both formats hold alike: nothing after item 71 that the
// older format would answer differently, lists as long as their counts.
KeldText Shared()
{
    kombra_fixtures::HaldeKeldOptions o;
    o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
    o.tableValues = 6;
    KeldText k = kombra_fixtures::HaldeDescription(o);
    k.Strings("contact", {"team", "address", "phone", "mail", "web"}).Float("version", 2.1);
    k.Char("phi_method", 0).Char("nano_defined", 0);
    for (const char *units : {"data_lat_units", "swp_reset_units", "sen_reset_units"})
        k.Char(units, 250);
    for (const char *zero : {"PMI.num_angles", "PMI.num_tbls", "PotentialSource.potential_sensor",
                             "PotentialSource.num_tbls", "TensorDefinition.rank", "StartOfSpin.sensor",
                             "StartOfSpin.msec_adj", "StartOfSpin.nsec_adj"})
        k.Int(zero, 0);
    for (const char *zeros : {"PMI.sensors", "PMI.rot_axis", "PMI.tbls", "PMI.opers", "PotentialSource.tbls",
                              "PotentialSource.opers", "TensorDefinition.rank_lengths", "TensorDefinition.rank_ids"})
        k.Ints(zeros, {0});
    k.Float("PotentialSource.constant_value", 0).Floats("TensorDefinition.rank_min_vals", {0});
    k.Floats("TensorDefinition.rank_max_vals", {0}).Char("CalSet0.d_type", 0).Char("CalSet1.d_type", 0);
    // Distinct values, so that an element read from the wrong place shows.
    for (int s = 0; s < 4; ++s) {
        const std::string p = "Sensor" + std::to_string(s) + ".";
        k.Char(p + "d_type", 10 + s).Char(p + "tdw_len", 20 + s).Char(p + "status", 30 + s);
    }
    for (int t = 0; t < 3; ++t) {
        const std::string p = "Table" + std::to_string(t) + ".";
        k.Int(p + "crit_act_sz", 2).Ints(p + "CriticalAction.table", {5, -6});
        k.Int(p + "tbl_sca_sz", -2).Chars(p + "scale", {3, 4});
        k.Chars(p + "CriticalAction.status", {1, 2, 3, t}).Ints(p + "CriticalAction.offset", {-11, 12, 13, t});
        k.Chars(p + "format", {5, 6, 7, t}).Ints(p + "offset", {100, 200, 70000, t});
    }
    k.Chars("Constant1.scale", {-1, -2, -3, -4});
    return k;
}

TEST(OldFormatAndText, AnswerEveryItemAlike)
{
    // Items the two formats answer differently by definition: the older
    // format keeps no comments nor descriptions (an empty item), has no slot
    // for _STATE and _PA_BX .. _PA_BZ, and gives fixed answers where the
    // text description has no key (format 1, and null pointers for the
    // names of the sources it cannot describe).
    const std::map<int, const char *> differ = {
        {_COMMENTS, "empty"}, {_TBL_DESC, "empty"}, {_CONST_DESC, "empty"}, {_STATE, "no slot"},
        {_PA_BX, "no slot"}, {_PA_BY, "no slot"}, {_PA_BZ, "no slot"}, {_PMI_FORMAT, "fixed"},
        {_POT_SRC_FORMAT, "fixed"}};
    const std::set<int> ranges = {_STATES,    _D_TYPE,   _TDW_LEN,  _SEN_STATUS, _TIME_OFF,  _CAL_USE,
                                  _CAL_WLEN,  _CAL_TARGET, _CRIT_STATUS, _CRIT_OFF, _CRIT_ACTION, _TBL_FMT,
                                  _TBL_OFF,   _TBL_SCA,  _TBL,      _CONST_SCA, _KELD_CONST, _CAL_SCOPE,
                                  _SPIN_TIME_OFF, _CAL_D_TYPE};
    TempDir dir;
    const auto text = keld_test::ParseText(dir, Shared().Text());
    ASSERT_EQ("", text.out);
    ImagePtr image;
    ASSERT_EQ(1, Parse(kombra_fixtures::OldImageOf(Shared()).Bytes(), image));

    int compared = 0;
    for (const KeldItemDef &item : KeldItems()) {
        const bool pointer = KeldElementForm(item.form) == KeldForm::CharPtr;
        if (differ.count(item.code) || (pointer && item.ir_size == 0))
            continue;
        // Structured keys are asked for each structure; element ranges from
        // 0 and 1 where the item has elements to range over.
        const std::string key = item.key ? item.key : "";
        const int nums = key.find("%d") == std::string::npos ? 1 : key.find("Sensor") != std::string::npos ? 4 : 2;
        const bool ranged = ranges.count(item.code) > 0;
        for (int num = 0; num < nums; ++num)
            for (const auto &[start, len] : {std::pair{0, -1}, {0, 1}, {1, -1}, {1, 1}}) {
                if (start > 0 && !ranged)
                    continue;
                const KeldForm form = item.form;
                const size_t size = std::max<size_t>(KeldElementSize(form), 1);
                std::vector<unsigned char> buf(16 * size, kFill);
                const int status = ReadNewKELDChecked(text.map.get(), buf.data(), buf.size(), item.code,
                                                      static_cast<KOMBRA_SHORT>(num), start,
                                                      static_cast<KOMBRA_SHORT>(len));
                const Answer old = ReadOld(image.get(), item.code, num, start, len);
                SCOPED_TRACE(std::string(item.name) + " num " + std::to_string(num) + " start " +
                             std::to_string(start) + " len " + std::to_string(len));
                EXPECT_EQ(status, old.status);
                // What the text format wrote, the older format wrote alike;
                // only its flat string lists may go on past the structure.
                for (size_t i = 0; i < 16; ++i) {
                    const V want = Element(buf.data() + i * size, form);
                    if (!std::holds_alternative<std::monostate>(want) || !pointer) {
                        EXPECT_EQ(want, old.elements[i]) << "element " << i;
                    }
                }
                ++compared;
            }
    }
    EXPECT_GT(compared, 250);
}

}  // namespace
