#include "common/lang/local_text.h"
#include "common/lang/utf16.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vz {

namespace {

class FixedSource final : public TextSource {
public:
    explicit FixedSource(std::string answer) : m_answer(std::move(answer)) {}
    std::string localText(std::string_view, std::string_view) const override { return m_answer; }

private:
    std::string m_answer;
};

struct SourceGuard {
    ~SourceGuard() { installTextSource(nullptr); }
};

} // namespace

TEST(LocalText, AnswersDefaultsUntilALanguageIsInstalled)
{
    SourceGuard guard;
    EXPECT_EQ(LocalText("never", "Never"), "Never");
    installTextSource(std::make_shared<FixedSource>("Nie"));
    EXPECT_EQ(LocalText("never", "Never"), "Nie");
}

TEST(LocalText, LongAnswersAreCutAtACharacterBoundary)
{
    SourceGuard guard;
    // 127 two-byte characters and one more: 256 bytes, the last character must go whole.
    std::string umlauts;
    for (int i = 0; i < 128; ++i)
        umlauts += "\xC3\xA4";
    installTextSource(std::make_shared<FixedSource>("x" + umlauts));
    std::string answer = LocalText("k", "d");
    EXPECT_EQ(answer.size(), 255u);
    EXPECT_EQ(answer, "x" + umlauts.substr(0, 254));
}

TEST(LocalText, SafeWhileTheSourceIsSwappedFromAnotherThread)
{
    SourceGuard guard;
    std::atomic<bool> stop { false };
    std::thread swapper([&] {
        for (int i = 0; i < 2000; ++i)
            installTextSource(std::make_shared<FixedSource>(i % 2 ? "A" : "B"));
        stop = true;
    });
    std::vector<std::thread> readers;
    std::atomic<int> bad { 0 };
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                auto t = LocalText("k", "D");
                if (t != "A" && t != "B" && t != "D")
                    ++bad;
            }
        });
    }
    swapper.join();
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(Utf16, RoundTripsAndLimits)
{
    std::string s = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"; // a ä € 😀
    std::u16string u = utf16::fromUtf8(s);
    EXPECT_EQ(u.size(), 5u);
    EXPECT_EQ(utf16::toUtf8(u), s);
    // The limit never splits a surrogate pair.
    EXPECT_EQ(utf16::fromUtf8(s, 4).size(), 3u);
    // Broken input becomes replacement characters, never a read past the end.
    EXPECT_EQ(utf16::fromUtf8("\xC3"), u"\uFFFD");
    EXPECT_EQ(utf16::fromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");
}

} // namespace vz
