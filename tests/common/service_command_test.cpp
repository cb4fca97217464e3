#include "common/service_command.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace vz {

namespace {

// A window channel that records what was sent and answers from a table of windows.
class RecordingChannel final : public WindowChannel {
public:
    std::optional<std::uint32_t> sendCopyData(std::string_view title, const std::vector<std::uint8_t>& data) override
    {
        auto window = answers.find(std::string(title));
        if (window == answers.end())
            return std::nullopt;
        sent.push_back({ std::string(title), data });
        return window->second;
    }
    bool postCommand(std::string_view, std::uint32_t) override { return false; }

    std::map<std::string, std::uint32_t> answers;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> sent;
};

} // namespace

TEST(ServiceCommandRecord, EncodesTheLayoutByteByByte)
{
    ServiceCommand c { service_command::ScanFolder, "/home/u" };
    std::vector<std::uint8_t> expected = {
        7, 0, 0, 0,           // payload length
        3, 0, 0, 0,           // command code
        0, 0, 0, 0,           // zero
        '/', 'h', 'o', 'm', 'e', '/', 'u',
        0,                    // final zero byte
    };
    EXPECT_EQ(c.encode(), expected);

    ServiceCommand big { 0x01020304u, std::string(0x0105, 'x') };
    auto bytes = big.encode();
    ASSERT_EQ(bytes.size(), 0x0105u + 13);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8)),
        (std::vector<std::uint8_t> { 0x05, 0x01, 0, 0, 0x04, 0x03, 0x02, 0x01 }));
    EXPECT_EQ(bytes.back(), 0);
}

TEST(ServiceCommandRecord, EveryPayloadSizeGivesNPlus13BytesAndDecodesBack)
{
    for (std::string payload : { std::string(), std::string("a"), std::string("C:\\x y"), std::string(4096, 'z'),
             std::string("with\0zero", 9) }) {
        for (std::uint32_t code : { service_command::GuardOn, service_command::ScanMail, 0xFFFFFFFFu }) {
            ServiceCommand c { code, payload };
            auto bytes = c.encode();
            ASSERT_EQ(bytes.size(), payload.size() + 13);
            auto back = ServiceCommand::decode(bytes.data(), bytes.size());
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->code, code);
            EXPECT_EQ(back->payload, payload);
        }
    }
}

TEST(ServiceCommandRecord, DecodeRejectsRecordsWhoseSizeDoesNotMatch)
{
    auto good = ServiceCommand { service_command::ScanFolder, "abc" }.encode();
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        { "empty", {} },
        { "shorter than the head", { 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0 } },
        { "one byte missing", std::vector<std::uint8_t>(good.begin(), good.end() - 1) },
        { "one byte too many", [&] { auto b = good; b.push_back(0); return b; }() },
        { "length says more", [&] { auto b = good; b[0] = 4; return b; }() },
        { "length says less", [&] { auto b = good; b[0] = 2; return b; }() },
        { "length near 4 GiB", [&] { auto b = good; b[0] = b[1] = b[2] = b[3] = 0xFF; return b; }() },
    };
    for (const auto& c : cases)
        EXPECT_FALSE(ServiceCommand::decode(c.bytes.data(), c.bytes.size()).has_value()) << c.what;
    EXPECT_FALSE(ServiceCommand::decode(nullptr, 13).has_value());
}

TEST(ServiceCommandRecord, SendGoesToTheServiceWindowAndAnswersZeroWithoutOne)
{
    RecordingChannel channel;
    EXPECT_EQ(SendServiceCommand(channel, service_command::GuardOn), 0u);
    EXPECT_TRUE(channel.sent.empty());

    channel.answers[std::string(ServiceWindowTitle)] = 42;
    EXPECT_EQ(SendServiceCommand(channel, service_command::ScanFolder, "/srv"), 42u);
    ASSERT_EQ(channel.sent.size(), 1u);
    EXPECT_EQ(channel.sent[0].first, "qelavsrvw");
    auto record = ServiceCommand::decode(channel.sent[0].second.data(), channel.sent[0].second.size());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->code, service_command::ScanFolder);
    EXPECT_EQ(record->payload, "/srv");
}

} // namespace vz
