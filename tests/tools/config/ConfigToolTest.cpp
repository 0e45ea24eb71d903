#include "TMKShell.h"
#include "TMKFileText.h"
#include "settings/TKSettingFields.h"
#include "settings/TKSettingFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ConfigTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tamek-config-" + std::to_string(::getpid()) + "-"
                  + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = (dir / "config.bin").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string quote(const std::string& word)
    {
        std::string quoted = "'";
        for (const char c : word)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }
    static Bytes bytesOf(const std::string& path)
    {
        const std::string text = TMKFileText(path);
        return Bytes(text.begin(), text.end());
    }
    static void writeBytes(const std::string& path, const Bytes& bytes)
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    ToolRun run(const std::vector<std::string>& args) const
    {
        std::string line = quote(TAMEK_CONFIG_TOOL);
        for (const auto& arg : args)
            line += " " + quote(arg);
        line += " >" + quote((dir / "out").string()) + " 2>" + quote((dir / "err").string());
        return { TMKShellStatus(line), TMKFileText(dir / "out"), TMKFileText(dir / "err") };
    }
    nlohmann::ordered_json show() const
    {
        const ToolRun result = run({ "show", file });
        EXPECT_EQ(result.status, 0) << result.err;
        return nlohmann::ordered_json::parse(result.out, nullptr, false);
    }

    fs::path dir;
    std::string file;
};

} // namespace

TEST_F(ConfigTool, EachCommandAsTheUserRunsIt)
{
    ASSERT_EQ(run({ "default", file }).status, 0);
    const std::string reference = (dir / "reference.bin").string();
    ASSERT_FALSE(TKWriteDefaultSettingFile(reference));
    EXPECT_EQ(bytesOf(file), bytesOf(reference));

    auto json = show();
    ASSERT_FALSE(json.is_discarded());
    std::vector<std::string> names;
    for (const auto& item : json.items())
        names.push_back(item.key());
    std::vector<std::string> expected;
    for (const auto& field : TKSettingFields())
        expected.emplace_back(field.name);
    expected.emplace_back("checksum_ok");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(json["cfg_ver"], 22310);
    EXPECT_EQ(json["time_gmt"], 28);
    EXPECT_EQ(json["szPlateNumber"], "Tamek");
    EXPECT_EQ(json["wifi_ssid"].size(), 16u);
    EXPECT_EQ(json["checksum_ok"], false) << "the default record is not sealed";

    // An existing file is replaced only when asked to.
    writeBytes(file, Bytes(429, 0x33));
    const ToolRun refused = run({ "default", file });
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(bytesOf(file), Bytes(429, 0x33));
    EXPECT_EQ(run({ "default", "--force", file }).status, 0);
    EXPECT_EQ(bytesOf(file), bytesOf(reference));

    // set changes the named fields and seals.
    const ToolRun result = run({ "set", file, "szPlateNumber=AB12", "time_gmt=-1", "gsen_x_threshold=120",
        "motionBlock=0x1F", "dummy00=1,2,3,4294967295" });
    ASSERT_EQ(result.status, 0) << result.err;
    json = show();
    EXPECT_EQ(json["szPlateNumber"], "AB12");
    EXPECT_EQ(json["time_gmt"], -1);
    EXPECT_EQ(json["gsen_x_threshold"], 120);
    EXPECT_EQ(json["motionBlock"], 31);
    EXPECT_EQ(json["dummy00"], nlohmann::ordered_json::array({ 1, 2, 3, 4294967295u }));
    EXPECT_EQ(json["osd_plate_flag"], 1);
    EXPECT_EQ(json["checksum_ok"], true);

    ASSERT_EQ(run({ "set", file, "szPlateNumber=" }).status, 0);
    EXPECT_EQ(show()["szPlateNumber"], "");

    // Bad assignments leave the file untouched.
    const Bytes before = bytesOf(file);
    const std::pair<const char*, const char*> cases[] = {
        { "no_such_field=1", "unknown field" },
        { "cfg_ver=65536", "out of range" },
        { "aud_enable=-1", "out of range" },
        { "time_gmt=34", "time_gmt" },
        { "gsen_x_threshold=151", "gsen_x_threshold" },
        { "gsen_x_threshold=4", "gsen_x_threshold" },
        { "sd_mem_always_ratio=10", "sd_mem_always_ratio" },
        { "szPlateNumber=AB-12", "car number" },
        { "checksum=5", "computed" },
        { "osd_plate_flag=1", "computed" },
        { "dummy00=1,2", "4 comma-separated" },
        { "aud_enable=12x", "not an integer" },
        { "aud_enable=", "not an integer" },
        { "aud_enable", "NAME=VALUE" },
    };
    for (const auto& [assignment, message] : cases) {
        // A good assignment first: nothing of it may be written either.
        const ToolRun refusal = run({ "set", file, "time_gmt=3", assignment });
        EXPECT_NE(refusal.status, 0) << assignment;
        EXPECT_NE(refusal.err.find(message), std::string::npos) << assignment << ": " << refusal.err;
        EXPECT_EQ(bytesOf(file), before) << assignment;
    }

    // Which sizes make a settings file is the library's to say; the tool
    // refuses both commands with the size, and writes nothing.
    const Bytes bytes(427, 0x44);
    writeBytes(file, bytes);
    for (const auto& args : { std::vector<std::string> { "show", file }, std::vector<std::string> { "set", file, "time_gmt=1" } }) {
        const ToolRun refusal = run(args);
        EXPECT_NE(refusal.status, 0);
        EXPECT_NE(refusal.err.find("not a settings file (427 bytes"), std::string::npos) << refusal.err;
        EXPECT_TRUE(refusal.out.empty());
    }
    EXPECT_EQ(bytesOf(file), bytes);
    const ToolRun missing = run({ "show", (dir / "absent.bin").string() });
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("no such file"), std::string::npos);

    // Help, usage, a plate of any bytes, outputs that cannot be written.
    const ToolRun help = run({ "--help" });
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tamek-config"), std::string::npos);
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({ "set", file }).status, 2);

    // A card can carry any bytes in the car number; show still prints JSON.
    ASSERT_EQ(run({ "default", "--force", file }).status, 0);
    Bytes plate = bytesOf(file);
    plate[256] = 0xFF;
    plate[257] = 0xC3;
    writeBytes(file, plate);
    json = show();
    ASSERT_FALSE(json.is_discarded());
    EXPECT_TRUE(json["szPlateNumber"].is_string());

    // Output that cannot be written is reported.
    const std::string tool = quote(TAMEK_CONFIG_TOOL) + " show " + quote(file);
    EXPECT_NE(TMKShellStatus(tool + " >/dev/full 2>/dev/null"), 0);
    EXPECT_NE(TMKShellStatus(tool + " >&- 2>/dev/null"), 0);
    EXPECT_EQ(TMKShellStatus(tool + " >/dev/null 2>/dev/null"), 0);

    // What may be replaced, and how a link is written through, is the
    // library's rule (tested with it); the tool asks it before writing.
    for (const bool fifo : {true, false}) { // a FIFO, a link to a device
        fs::remove(file);
        ASSERT_EQ(fifo ? ::mkfifo(file.c_str(), 0600) : ::symlink("/dev/null", file.c_str()), 0);
        const ToolRun forced = run({ "default", "--force", file });
        EXPECT_NE(forced.err.find("not a regular file"), std::string::npos) << forced.err;
        EXPECT_EQ(fs::symlink_status(file).type(), fifo ? fs::file_type::fifo : fs::file_type::symlink);
    }

    // Nor does set write a file made read-only.
    fs::remove(file);
    ASSERT_EQ(run({ "default", file }).status, 0);
    fs::permissions(file, fs::perms::owner_read);
    const Bytes kept = bytesOf(file);
    const ToolRun readOnly = run({ "set", file, "aud_input_vol=2" });
    EXPECT_NE(readOnly.status, 0);
    EXPECT_NE(readOnly.err.find("read-only"), std::string::npos) << readOnly.err;
    EXPECT_EQ(bytesOf(file), kept);
}
