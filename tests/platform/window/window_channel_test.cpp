#include "platform/window/unix_window_channel.h"
#include "platform/window/window_endpoint.h"
#include "platform/window/window_name.h"
#include "platform/window/window_thread.h"

#include "common/environment.h"
#include "common/service_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vz::platform {

namespace {

namespace wp = window_protocol;

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// A raw client socket connected to a path, for sending what no channel would.
UniqueFd rawConnect(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return fd;
}

// Leaves a socket file behind the way a program that died does.
void leaveStaleSocket(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd.get(), 1), 0);
}

// Records every message it handles; answers with the data size plus a base.
struct RecordingHandler {
    std::mutex mutex;
    std::vector<WindowMessage> messages;
    std::uint32_t base = 1000;

    WindowHandler handler()
    {
        return [this](const WindowMessage& m) {
            std::lock_guard lock(mutex);
            messages.push_back(m);
            return base + static_cast<std::uint32_t>(m.data.size());
        };
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return messages.size();
    }
};

} // namespace

TEST(WindowName, TitlesBecomeSafeCaseFreeSocketNames)
{
    struct Case {
        std::string title;
        std::string name;
    } cases[] = {
        { "qelavsrvw", "qelavsrvw.window" },
        { "QelAvSrvW", "qelavsrvw.window" },
        { "My Window", "my%20window.window" },
        { "../x", "%2E%2E%2Fx.window" },
        { "a-b_c.d", "a-b_c%2Ed.window" },
        { "\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9.window" },
        { "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(windowSocketName(c.title), c.name) << c.title;

    std::string longTitle(200, 'W');
    std::string name = windowSocketName(longTitle);
    EXPECT_EQ(name.size(), 48u + 17u + 7u);
    EXPECT_EQ(name.substr(0, 48), std::string(48, 'w'));
    EXPECT_EQ(name, windowSocketName(std::string(200, 'w'))); // still free of case
    EXPECT_NE(name, windowSocketName(std::string(199, 'W') + "X"));
    EXPECT_EQ(windowSocketPath("/run/vodazedad", "qelavsrvw"), "/run/vodazedad/qelavsrvw.window");
}

TEST(WindowChannel, ServiceCommandRoundTripWithThePeersCredentials)
{
    auto endpoint = WindowEndpoint::create(ServiceWindowTitle);
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    EXPECT_EQ(endpoint->socketPath(), environment::runtimeFolder() + "/qelavsrvw.window");
    std::mutex mutex;
    std::vector<std::pair<ServiceCommand, WindowPeer>> seen;
    auto thread = WindowThread::start(std::move(*endpoint), [&](const WindowMessage& m) -> std::uint32_t {
        auto command = ServiceCommand::decode(m.data.data(), m.data.size());
        if (!command || m.kind != wp::Kind::CopyData)
            return 0;
        std::lock_guard lock(mutex);
        seen.emplace_back(*command, m.sender);
        return 100 + command->code;
    });
    ASSERT_TRUE(thread.ok()) << thread.error().text();

    UnixWindowChannel channel;
    EXPECT_EQ(SendServiceCommand(channel, service_command::ScanFolder, "/home/u/My Files"), 103u);
    EXPECT_EQ(SendServiceCommand(channel, service_command::GuardOff), 102u);

    std::lock_guard lock(mutex);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first.code, service_command::ScanFolder);
    EXPECT_EQ(seen[0].first.payload, "/home/u/My Files");
    EXPECT_EQ(seen[1].first.code, service_command::GuardOff);
    EXPECT_EQ(seen[1].first.payload, "");
    EXPECT_EQ(seen[0].second.uid, ::getuid());
    EXPECT_EQ(seen[0].second.gid, ::getgid());
    EXPECT_EQ(seen[0].second.pid, ::getpid());
}

TEST(WindowChannel, SendersOnSeveralThreadsEachGetTheirOwnAnswer)
{
    auto endpoint = WindowEndpoint::create("busy window");
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    RecordingHandler recording;
    auto thread = WindowThread::start(std::move(*endpoint), recording.handler());
    ASSERT_TRUE(thread.ok());

    std::atomic<int> wrong { 0 };
    auto sender = [&](std::size_t sizeBase) {
        UnixWindowChannel channel;
        for (std::size_t i = 0; i < 25; ++i) {
            std::vector<std::uint8_t> data(sizeBase + i, 0x5A);
            auto answer = channel.sendCopyData("Busy Window", data);
            if (answer != std::optional<std::uint32_t>(1000 + static_cast<std::uint32_t>(data.size())))
                ++wrong;
        }
    };
    std::thread a(sender, 0), b(sender, 5000);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(recording.count(), 50u);

    // The largest message a window takes still goes through; a larger one is not sent.
    UnixWindowChannel channel;
    EXPECT_EQ(channel.sendCopyData("busy window", std::vector<std::uint8_t>(wp::MaxDataSize, 1)), 1000 + wp::MaxDataSize);
    EXPECT_EQ(channel.sendCopyData("busy window", std::vector<std::uint8_t>(wp::MaxDataSize + 1, 1)), std::nullopt);
    EXPECT_EQ(recording.count(), 51u);
}

TEST(WindowChannel, NoWindowMeansNothingDeliveredAndZero)
{
    test::TempDir dir;
    UnixWindowChannel channel(dir.path());
    EXPECT_EQ(channel.sendCopyData("qelavsrvw", { 1, 2, 3 }), std::nullopt);
    EXPECT_FALSE(channel.postCommand("qelavsrvw", 1175));
    EXPECT_EQ(SendServiceCommand(channel, service_command::GuardOn), 0u);
    EXPECT_EQ(channel.sendCopyData("", { 1 }), std::nullopt);
    EXPECT_EQ(channel.sendCopyData(std::string(500, 'x'), { 1 }), std::nullopt);

    // Nor is a plain file of that name a window.
    dir.write("qelavsrvw.window", "not a socket");
    EXPECT_EQ(SendServiceCommand(channel, service_command::GuardOn), 0u);
}

TEST(WindowChannel, StaleSocketIsNoWindowAndIsReplacedByANewEndpoint)
{
    test::TempDir dir;
    std::string path = windowSocketPath(dir.path(), "stale");
    leaveStaleSocket(path);
    dir.write("stale.window.lock", ""); // and an unlocked lock file
    ASSERT_TRUE(fileExists(path));

    UnixWindowChannel channel(dir.path());
    EXPECT_EQ(channel.sendCopyData("stale", { 9 }), std::nullopt);
    EXPECT_FALSE(channel.postCommand("stale", 7));

    auto endpoint = WindowEndpoint::create("stale", dir.path());
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    RecordingHandler recording;
    auto thread = WindowThread::start(std::move(*endpoint), recording.handler());
    ASSERT_TRUE(thread.ok());
    EXPECT_EQ(channel.sendCopyData("stale", { 9 }), 1001u);
}

TEST(WindowChannel, LiveEndpointIsNeverTakenOverAndLeavesNoFilesBehind)
{
    test::TempDir dir;
    UnixWindowChannel channel(dir.path());
    {
        auto first = WindowEndpoint::create("owner", dir.path());
        ASSERT_TRUE(first.ok()) << first.error().text();
        RecordingHandler recording;
        auto thread = WindowThread::start(std::move(*first), recording.handler());
        ASSERT_TRUE(thread.ok());

        for (const char* title : { "owner", "OWNER", "Owner" }) {
            auto second = WindowEndpoint::create(title, dir.path());
            ASSERT_FALSE(second.ok()) << title;
            EXPECT_EQ(second.error().code, EADDRINUSE) << second.error().text();
        }
        EXPECT_EQ(channel.sendCopyData("owner", { 1, 2 }), 1002u);
        EXPECT_EQ(recording.count(), 1u);
    }
    EXPECT_FALSE(fileExists(windowSocketPath(dir.path(), "owner")));
    EXPECT_FALSE(fileExists(windowSocketPath(dir.path(), "owner") + ".lock"));
    EXPECT_EQ(channel.sendCopyData("owner", { 1 }), std::nullopt);

    // A moved endpoint keeps the title until its last owner goes.
    auto again = WindowEndpoint::create("owner", dir.path());
    ASSERT_TRUE(again.ok()) << again.error().text();
    WindowEndpoint moved = std::move(*again);
    EXPECT_FALSE(WindowEndpoint::create("owner", dir.path()).ok());
    EXPECT_TRUE(channel.postCommand("owner", 1));
}

TEST(WindowEndpoint, MalformedRequestsAreDroppedAndTheWindowLivesOn)
{
    test::TempDir dir;
    auto endpoint = WindowEndpoint::create("robust", dir.path());
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    RecordingHandler recording;
    auto header = [](std::uint32_t magic, std::uint32_t kind, std::uint32_t parameter, std::uint32_t length) {
        std::vector<std::uint8_t> out;
        for (std::uint32_t v : { magic, kind, parameter, length })
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return out;
    };
    auto plus = [](std::vector<std::uint8_t> a, std::size_t extra) {
        a.resize(a.size() + extra, 0x41);
        return a;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        { "nothing at all", {} },
        { "half a header", { 0x56, 0x5A, 0x57, 0x4D, 1, 0, 0 } },
        { "wrong magic", plus(header(0x12345678, 1, 0, 4), 4) },
        { "unknown kind", plus(header(wp::RequestMagic, 3, 0, 4), 4) },
        { "kind zero", header(wp::RequestMagic, 0, 0, 0) },
        { "length over the bound", header(wp::RequestMagic, 1, 0, wp::MaxDataSize + 1) },
        { "length near 4 GiB", header(wp::RequestMagic, 1, 0, 0xFFFFFFF0u) },
        { "data cut short", plus(header(wp::RequestMagic, 1, 0, 10), 5) },
        { "a command carrying data", plus(header(wp::RequestMagic, 2, 5, 4), 4) },
    };
    for (const auto& c : cases) {
        UniqueFd client = rawConnect(endpoint->socketPath());
        ASSERT_TRUE(client.valid()) << c.what;
        if (!c.bytes.empty()) {
            ASSERT_EQ(::send(client.get(), c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.bytes.size()));
        }
        ::shutdown(client.get(), SHUT_WR);
        auto outcome = endpoint->serveOne(recording.handler());
        ASSERT_TRUE(outcome.ok()) << outcome.error().text();
        EXPECT_EQ(*outcome, ServeOutcome::Dropped) << c.what;
        std::uint8_t answer[8];
        // The end of the stream, or a reset when unread bytes were left behind.
        EXPECT_LE(::recv(client.get(), answer, sizeof answer, 0), 0) << c.what << ": no answer";
    }
    EXPECT_EQ(recording.count(), 0u);

    // A sender that went away before its answer costs the window nothing.
    {
        UniqueFd gone = rawConnect(endpoint->socketPath());
        auto frame = plus(header(wp::RequestMagic, 1, 0, 3), 3);
        ASSERT_EQ(::send(gone.get(), frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
    }
    EXPECT_EQ(*endpoint->serveOne(recording.handler()), ServeOutcome::Served);
    EXPECT_EQ(*endpoint->serveOne(recording.handler(), WaitMode::NoWait), ServeOutcome::NothingWaiting);

    UnixWindowChannel channel(dir.path());
    std::optional<std::uint32_t> answer;
    std::thread sender([&] { answer = channel.sendCopyData("robust", { 1, 2, 3, 4 }); });
    EXPECT_EQ(*endpoint->serveOne(recording.handler()), ServeOutcome::Served);
    sender.join();
    EXPECT_EQ(answer, 1004u);
    EXPECT_EQ(recording.count(), 2u);
}

TEST(WindowChannel, PostedCommandsAreOneWay)
{
    test::TempDir dir;
    auto endpoint = WindowEndpoint::create("tray", dir.path());
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    UnixWindowChannel channel(dir.path());
    // Delivered while nobody serves the window yet: the sender does not wait for it.
    EXPECT_TRUE(channel.postCommand("tray", 1175));
    EXPECT_TRUE(channel.postCommand("TRAY", 1176));

    RecordingHandler recording;
    EXPECT_EQ(*endpoint->serveOne(recording.handler(), WaitMode::NoWait), ServeOutcome::Served);
    EXPECT_EQ(*endpoint->serveOne(recording.handler(), WaitMode::NoWait), ServeOutcome::Served);
    EXPECT_EQ(*endpoint->serveOne(recording.handler(), WaitMode::NoWait), ServeOutcome::NothingWaiting);
    ASSERT_EQ(recording.count(), 2u);
    EXPECT_EQ(recording.messages[0].kind, wp::Kind::Command);
    EXPECT_EQ(recording.messages[0].parameter, 1175u);
    EXPECT_TRUE(recording.messages[0].data.empty());
    EXPECT_EQ(recording.messages[1].parameter, 1176u);
    EXPECT_EQ(recording.messages[1].sender.pid, ::getpid());
}

TEST(WindowChannel, TheReceiverSeesWhichUserSent)
{
    test::TempDir dir;
    // Open to the unprivileged sender like the runtime folder.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    std::string folder = dir.file("run");
    auto endpoint = WindowEndpoint::create("qelavsrvw", folder);
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);

    ASSERT_TRUE(test::runAsUnprivileged([&] { return UnixWindowChannel(folder).postCommand("qelavsrvw", 2); }));
    RecordingHandler recording;
    EXPECT_EQ(*endpoint->serveOne(recording.handler(), WaitMode::NoWait), ServeOutcome::Served);
    ASSERT_EQ(recording.count(), 1u);
    const WindowPeer& sender = recording.messages[0].sender;
    EXPECT_NE(sender.pid, ::getpid());
    if (test::runningAsRoot()) {
        EXPECT_NE(sender.uid, 0u);
        EXPECT_NE(sender.gid, 0u);
    } else {
        EXPECT_EQ(sender.uid, ::getuid());
    }
}

TEST(WindowChannel, AReceiverThatNeverAnswersDoesNotHoldTheSender)
{
    test::TempDir dir;
    auto endpoint = WindowEndpoint::create("hung", dir.path());
    ASSERT_TRUE(endpoint.ok()) << endpoint.error().text();
    // The endpoint never serves: the request waits in its backlog. The bound is made
    // short here; the outcome does not depend on it.
    UnixWindowChannel channel(dir.path(), WindowChannelTimeouts { std::chrono::milliseconds(10'000), std::chrono::milliseconds(1) });
    EXPECT_EQ(channel.sendCopyData("hung", { 1 }), std::nullopt);
    EXPECT_EQ(SendServiceCommand(channel, service_command::GuardOn), 0u);
}

} // namespace vz::platform
