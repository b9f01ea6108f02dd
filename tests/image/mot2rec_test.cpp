// The build-time image tool, run as a process on small S-record fixtures.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One S-record line with its count and checksum worked out.
std::string Rec(int type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addrBytes = (type == 2 || type == 8 || type == 6) ? 3 : (type == 3 || type == 7) ? 4 : 2;
    std::vector<uint8_t> raw;
    raw.push_back(static_cast<uint8_t>(addrBytes + data.size() + 1));
    for (int s = (addrBytes - 1) * 8; s >= 0; s -= 8) raw.push_back(static_cast<uint8_t>(address >> s));
    raw.insert(raw.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : raw) sum += b;
    raw.push_back(static_cast<uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (uint8_t b : raw) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

std::vector<uint8_t> Bytes16(uint8_t from) {
    std::vector<uint8_t> v(16);
    for (int i = 0; i < 16; ++i) v[i] = static_cast<uint8_t>(from + i);
    return v;
}

class Mot2Rec : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zb_mot2rec_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Runs the tool on one image covering 0x100..0x12F; returns its exit
    // code and puts its output into `out`.
    int Run(const std::string& mot, std::string& out, const std::string& window = "0x1000") {
        const std::string cmd = std::string("'") + MOT2REC_PATH + "' --output '" + Output() + "' --program TEST" +
                                " --window " + window + " --product-code 0x3064 --image '" + mot +
                                "' 0x100 0x12F 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        if (p == nullptr) return -1;
        out.clear();
        char buf[256];
        while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
        const int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Output() const { return m_dir + "/records.cpp"; }
    std::string Read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string m_dir;
};

// Header, three data records covering 0x100..0x12F, count, termination.
std::string GoodMot() {
    return Rec(0, 0, {'f', 'x'}) + Rec(1, 0x100, Bytes16(0x00)) + Rec(2, 0x110, Bytes16(0xF0)) +
           Rec(3, 0x120, Bytes16(0x20)) + Rec(5, 3, {}) + Rec(9, 0x100, {});
}

TEST_F(Mot2Rec, GoodFileGivesTheRecordSource) {
    std::string out;
    ASSERT_EQ(Run(Write("good.mot", GoodMot()), out), 0) << out;
    const std::string src = Read(Output());
    EXPECT_NE(src.find("ImageRecords BuiltInImages_TEST()"), std::string::npos);
    // Product code word, then start and end, little-endian.
    EXPECT_NE(src.find("\"\\x64\\x30\\x00\\x00\\x00\\x01\\x00\\x00\\x2F\\x01\\x00\\x00"), std::string::npos) << src;
    EXPECT_NE(src.find("{kRecords, " + std::to_string(4 + 8 + 0x30) + "}"), std::string::npos) << src;
}

TEST_F(Mot2Rec, DamagedFilesStopTheBuildWithFileAndLine) {
    const std::string rec1 = Rec(1, 0x100, Bytes16(0x00));
    const std::string rec2 = Rec(1, 0x110, Bytes16(0x10));
    const std::string rec3 = Rec(1, 0x120, Bytes16(0x20));
    const std::string end = Rec(9, 0, {});
    std::string badSum = rec2;
    badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
    std::string badHex = rec2;
    badHex[10] = 'G';
    struct Case {
        const char* name;
        std::string text;
        std::string expected;  // after "<file>:"
    };
    const Case cases[] = {
        {"checksum", rec1 + badSum + rec3 + end, "2: bad checksum"},
        {"out_of_range", rec1 + rec2 + Rec(1, 0x128, Bytes16(0x20)) + end,
         "3: data at 0x128..0x137 lies outside the image range 0x100..0x12F"},
        {"below_range", Rec(1, 0xF0, Bytes16(0)) + rec1 + rec2 + rec3 + end, "1: data at 0xF0..0xFF lies outside"},
        {"overlap", rec1 + rec2 + Rec(1, 0x11F, {0x99}) + rec3 + end,
         "3: address 0x11F overlaps the data of line 2"},
        {"gap", rec1 + rec3 + end, "2: addresses 0x110..0x11F are not covered"},
        {"gap_at_end", rec1 + rec2 + end, "3: addresses 0x120..0x12F are not covered"},
        {"no_termination", rec1 + rec2 + rec3, "3: no termination record"},
        {"after_termination", rec1 + rec2 + end + rec3, "4: record after the termination record"},
        {"not_hex", rec1 + badHex + rec3 + end, "2: character that is not a hex digit"},
        {"short_count", rec1 + "S1130110000102\n" + rec3 + end, "2: byte count 19 but 5 bytes follow"},
        {"not_a_record", rec1 + "hello\n" + end, "2: not an S-record"},
        {"record_count", rec1 + rec2 + rec3 + Rec(5, 2, {}) + end, "4: record count 2 but 3 data records"},
    };
    for (const auto& c : cases) {
        std::ofstream(Output()) << "previous";
        const std::string path = Write(std::string(c.name) + ".mot", c.text);
        std::string out;
        EXPECT_EQ(Run(path, out), 1) << c.name << ": " << out;
        EXPECT_EQ(out.rfind(path + ":" + c.expected, 0), 0u) << c.name << ": " << out;
        EXPECT_EQ(Read(Output()), "previous") << c.name << ": the output was touched";
    }
}

TEST_F(Mot2Rec, RangeWiderThanTheWindowAndMissingFileAreRefused) {
    std::string out;
    const std::string good = Write("good.mot", GoodMot());
    EXPECT_EQ(Run(good, out, "0x2F"), 1);
    EXPECT_NE(out.find("more than the window of 0x2F"), std::string::npos) << out;
    EXPECT_EQ(Run(good, out, "0x30"), 0) << out;
    EXPECT_EQ(Run(m_dir + "/missing.mot", out), 1);
    EXPECT_NE(out.find("missing.mot:0: cannot open the file"), std::string::npos) << out;
}

}  // namespace
