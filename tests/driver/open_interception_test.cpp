#include "guard_fixture.h"

#include <atomic>
#include <thread>

namespace vz::driver::test {

class Interception : public GuardFixture {
protected:
    void SetUp() override
    {
        GuardFixture::SetUp();
        startService();
    }

    // The open was held and the service was told: the request event is set once more.
    void expectHeld(const std::shared_ptr<sim::SimRequest>& open, int eventSets)
    {
        EXPECT_FALSE(open->completed());
        EXPECT_TRUE(open->pendingMarked());
        EXPECT_EQ(kernel.eventSetCount(requestEvent), eventSets);
        EXPECT_EQ(state().readyFlag, 0);
        EXPECT_EQ(state().heldOpens, 1u);
    }

    // The service thread's answer of 2 has arrived (or returned already); only then do
    // ticks go, so the hold time-out cannot overtake a thread that is slow to start.
    void waitForVerdictOrAnswer(const std::atomic<bool>& answered)
    {
        while (!answered.load() && state().verdict != kVerdictRefuseAndWait)
            std::this_thread::yield();
    }

    static constexpr std::uint32_t kOptions = (sim::FILE_OPEN << 24) | FILE_NON_DIRECTORY_FILE;
};

TEST_F(Interception, AHeldOpenIsNamedAskedAboutAndAllowed)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    expectHeld(open, 1);
    EXPECT_EQ(kernel.volumeLog(*volumeC).opened, std::vector<std::string> { "\\dir\\a.exe" });

    // The same request reads the same any number of times.
    for (int i = 0; i < 2; ++i) {
        GuardRequest request = service.getRequest();
        EXPECT_EQ(request.status, STATUS_SUCCESS);
        EXPECT_EQ(request.name, "C:\\dir\\a.exe");
        EXPECT_EQ(request.tag, "prog.exe:4242");
        EXPECT_EQ(request.count, kOptions);
    }

    // Copies stay inside the buffers the caller gives, cut and still NUL-terminated.
    GuardRequest cut = service.getRequest(5, 6);
    EXPECT_EQ(cut.name, "C:\\di");
    EXPECT_EQ(cut.tag, "prog");
    EXPECT_EQ(service.getRequest(0, 0).count, kOptions);

    answerAndTick(kVerdictAllow);
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);
    EXPECT_EQ(open->information(), sim::FILE_OPENED);
    EXPECT_EQ(open->completions(), 1);
    const auto s = state();
    EXPECT_EQ(s.readyFlag, 1);
    EXPECT_EQ(s.verdict, 0);
    EXPECT_EQ(s.heldOpens, 0u);
    EXPECT_TRUE(kernel.volumeLog(*volumeC).cancelledOpens.empty());
    // After the answer the name and count are gone; the tag stays.
    GuardRequest after = service.getRequest();
    EXPECT_EQ(after.name, "");
    EXPECT_EQ(after.count, 0u);
    EXPECT_EQ(after.tag, "prog.exe:4242");
}

TEST_F(Interception, TheSameFileRightAfterIsNotAskedAboutAgain)
{
    auto first = beginOpen('C', "\\dir\\a.exe");
    answerAndTick(kVerdictAllow);
    ASSERT_EQ(first->wait(), STATUS_SUCCESS);

    EXPECT_EQ(openNow('C', "\\DIR\\A.EXE"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);

    auto other = beginOpen('C', "\\dir\\b.exe");
    expectHeld(other, 2);
    answerAndTick(kVerdictAllow);
    ASSERT_EQ(other->wait(), STATUS_SUCCESS);

    auto again = beginOpen('C', "\\dir\\a.exe");
    expectHeld(again, 3);
    answerAndTick(kVerdictAllow);
    EXPECT_EQ(again->wait(), STATUS_SUCCESS);
}

TEST_F(Interception, ARefusedNameIsRefusedAtOnceAfterwardsInAnyCase)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    ASSERT_EQ(service.answer(kVerdictRefuse), STATUS_SUCCESS);
    auto s = state();
    EXPECT_EQ(s.lastRefusedName, "C:\\dir\\a.exe");
    EXPECT_EQ(s.requestName, "");
    EXPECT_EQ(s.createOptionsWord, 0u);
    ticks.advance(1);
    EXPECT_EQ(open->wait(), STATUS_ACCESS_DENIED);
    EXPECT_EQ(kernel.volumeLog(*volumeC).cancelledOpens, std::vector<std::string> { "\\dir\\a.exe" });
    EXPECT_EQ(state().lastExaminedName, "");
    EXPECT_EQ(state().readyFlag, 1);

    for (const char* name : { "\\DIR\\A.EXE", "\\dir\\a.exe", "\\Dir\\A.exe" }) {
        auto repeated = beginOpen('C', name);
        ASSERT_TRUE(repeated->completed()) << name;
        EXPECT_EQ(repeated->status(), STATUS_ACCESS_DENIED) << name;
    }
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);
    EXPECT_EQ(kernel.volumeLog(*volumeC).opened.size(), 1u);
    EXPECT_EQ(state().readyFlag, 1);

    // Another name refused through the service takes its place.
    auto other = beginOpen('C', "\\b.dll");
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(other->wait(), STATUS_ACCESS_DENIED);
    auto first = beginOpen('C', "\\dir\\a.exe");
    expectHeld(first, 3);
    answerAndTick(kVerdictAllow);
    EXPECT_EQ(first->wait(), STATUS_SUCCESS);
}

TEST_F(Interception, AnswerTwoReturnsOnlyAfterTheOpenWasRefused)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    std::atomic<bool> answered { false };
    NtStatus seenByOpen = STATUS_PENDING;
    std::int32_t verdictAfter = -99;
    std::string nameAfter;
    std::thread serviceThread([&] {
        EXPECT_EQ(service.answer(kVerdictRefuseAndWait), STATUS_SUCCESS);
        seenByOpen = open->completed() ? open->status() : STATUS_PENDING;
        verdictAfter = state().verdict;
        nameAfter = state().requestName;
        answered.store(true);
    });
    waitForVerdictOrAnswer(answered);
    ticks.advanceUntil([&] { return answered.load(); }, 100);
    serviceThread.join();
    EXPECT_EQ(seenByOpen, STATUS_ACCESS_DENIED);
    EXPECT_EQ(verdictAfter, 0);
    // The request name stays; the last refused name does not take it.
    EXPECT_EQ(nameAfter, "C:\\dir\\a.exe");
    EXPECT_EQ(state().lastRefusedName, "");
    EXPECT_EQ(kernel.volumeLog(*volumeC).cancelledOpens.size(), 1u);
}

TEST_F(Interception, WithoutAnAnswerTheOpenGoesAfterTenSeconds)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    const auto startMs = ticks.nowMs();
    ticks.advance(kHoldTimeoutTicks);
    EXPECT_FALSE(open->completed());
    ticks.advance(1);
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);
    EXPECT_EQ(ticks.nowMs() - startMs, 10010);
    EXPECT_EQ(state().readyFlag, 1);
}

TEST_F(Interception, HoldKeepsTheOpenWaitingForAsLongAsItTakes)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    ticks.advance(600);
    ASSERT_EQ(service.hold(), STATUS_SUCCESS);
    ticks.advance(5000);
    EXPECT_FALSE(open->completed());
    // An answer of 0 is no answer: counting goes on where it stopped.
    ASSERT_EQ(service.answer(kVerdictNone), STATUS_SUCCESS);
    ticks.advance(400);
    EXPECT_FALSE(open->completed());
    ticks.advance(1);
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);

    auto refused = beginOpen('C', "\\dir\\b.exe");
    ASSERT_EQ(service.hold(), STATUS_SUCCESS);
    ticks.advance(3000);
    EXPECT_FALSE(refused->completed());
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(refused->wait(), STATUS_ACCESS_DENIED);
}

TEST_F(Interception, OnlyWatchedFilesOpenedAsFilesAreExamined)
{
    struct Case {
        std::string name;
        std::uint32_t options;
        bool examined;
    };
    const Case cases[] = {
        { "\\dir\\README.TXT", kOptions, true },
        { "\\dir\\lib.DLL", kOptions, true },
        { "\\x.com", kOptions, true },
        { "\\x.bat", kOptions, true },
        { "\\x.rar", kOptions, true },
        { "\\x.zip", kOptions, true },
        { "\\dir\\a.exe.bak", kOptions, false },
        { "\\dir\\", kOptions, false },
        { "", kOptions, false },
        { "\\dir\\a.ex", kOptions, false },
        { "\\dir\\b.exe", kOptions | FILE_OPEN_BY_FILE_ID, false },
        { "\\dir\\c.exe", sim::FILE_OPEN << 24, false },
        { "\\" + std::string(1029, 'x'), kOptions, false },
        // Names that fit the service's 256-byte buffer are asked about; longer ones not.
        { "\\" + std::string(248, 'y') + ".exe", kOptions, true },
        { "\\" + std::string(249, 'z') + ".exe", kOptions, false },
    };
    int sets = 0;
    for (const Case& c : cases) {
        auto open = beginOpen('C', c.name, c.options);
        if (c.examined) {
            expectHeld(open, ++sets);
            EXPECT_EQ(service.getRequest().name, "C:" + c.name);
            answerAndTick(kVerdictAllow);
        }
        EXPECT_EQ(open->wait(), STATUS_SUCCESS) << c.name;
        EXPECT_EQ(kernel.eventSetCount(requestEvent), sets) << c.name;
    }
}

TEST_F(Interception, WhileARequestIsOutOtherOpensPass)
{
    auto held = beginOpen('C', "\\dir\\a.exe");
    EXPECT_EQ(openNow('C', "\\dir\\b.exe"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);
    EXPECT_EQ(service.getRequest().name, "C:\\dir\\a.exe");
    answerAndTick(kVerdictAllow);
    EXPECT_EQ(held->wait(), STATUS_SUCCESS);
}

TEST_F(Interception, GuardOffStopsExaminationButAHeldOpenIsStillFinished)
{
    auto held = beginOpen('C', "\\dir\\a.exe");
    ASSERT_EQ(service.off(), STATUS_SUCCESS);
    ticks.advance(10);
    EXPECT_FALSE(held->completed());
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(held->wait(), STATUS_ACCESS_DENIED);
    // The hold worker puts the ready flag back, as the service's guard flag decides.
    EXPECT_EQ(state().readyFlag, 1);

    ASSERT_EQ(service.off(), STATUS_SUCCESS);
    EXPECT_EQ(openNow('C', "\\dir\\b.exe"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);
    EXPECT_EQ(state().lastExaminedName, "");

    // Inactive volumes are not examined either.
    ASSERT_EQ(service.on(), STATUS_SUCCESS);
    EXPECT_EQ(service.setDrives(0), 0u);
    EXPECT_EQ(openNow('C', "\\dir\\b.exe"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);
}

TEST_F(Interception, ACancelledHeldOpenIsClosedAndItsRequestStillEnds)
{
    struct Case {
        const char* what;
        std::function<void()> end;
    };
    const Case cases[] = {
        { "answered", [&] { answerAndTick(kVerdictAllow); } },
        { "timed out", [&] { ticks.advance(kHoldTimeoutTicks + 1); } },
        { "answered 2", [&] {
             std::atomic<bool> answered { false };
             std::thread serviceThread([&] {
                 EXPECT_EQ(service.answer(kVerdictRefuseAndWait), STATUS_SUCCESS);
                 answered.store(true);
             });
             waitForVerdictOrAnswer(answered);
             ticks.advanceUntil([&] { return answered.load(); }, 100);
             serviceThread.join();
         } },
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "\\dir\\f" + std::to_string(index++) + ".exe";
        auto open = beginOpen('C', name);
        ASSERT_TRUE(open->cancel()) << c.what;
        EXPECT_EQ(open->wait(), STATUS_CANCELLED) << c.what;
        EXPECT_EQ(open->completions(), 1) << c.what;
        EXPECT_EQ(kernel.volumeLog(*volumeC).cancelledOpens.back(), name) << c.what;
        EXPECT_EQ(state().heldOpens, 0u) << c.what;
        EXPECT_EQ(state().readyFlag, 0) << c.what;
        c.end();
        EXPECT_EQ(state().readyFlag, 1) << c.what;
        EXPECT_EQ(state().verdict, 0) << c.what;
        EXPECT_EQ(open->completions(), 1) << c.what;
    }
}

TEST_F(Interception, AnswerTwoWithoutARequestReturnsAtOnce)
{
    ASSERT_EQ(service.answer(kVerdictRefuseAndWait), STATUS_SUCCESS);
    EXPECT_EQ(state().verdict, 0);
}

TEST_F(Interception, AFailedOpenIsFinishedWithTheFileSystemsFailure)
{
    volumeC->failingNames["\\dir\\gone.exe"] = STATUS_OBJECT_NAME_NOT_FOUND;
    auto open = beginOpen('C', "\\dir\\gone.exe");
    expectHeld(open, 1);
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(open->wait(), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_TRUE(kernel.volumeLog(*volumeC).cancelledOpens.empty());
}

TEST_F(Interception, AfterReleaseEventOpensPassWithoutSignallingIt)
{
    ASSERT_EQ(service.releaseEvent(), STATUS_SUCCESS);
    EXPECT_EQ(openNow('C', "\\dir\\a.exe"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 0);
    EXPECT_EQ(state().readyFlag, 1);
    EXPECT_EQ(state().lastExaminedName, "");

    // Once the service is back, the same file is asked about.
    ASSERT_EQ(service.registerEvents(requestEvent, secondEvent), STATUS_SUCCESS);
    auto open = beginOpen('C', "\\dir\\a.exe");
    expectHeld(open, 1);
    answerAndTick(kVerdictAllow);
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);
}

TEST_F(Interception, WithoutANameBufferTheOpenIsNotExamined)
{
    kernel.failingPoolTags.insert(kNamePoolTag);
    EXPECT_EQ(openNow('C', "\\dir\\a.exe"), STATUS_SUCCESS);
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 0);
}

TEST_F(Interception, RelativeAndNetworkOpensAreNamedForTheService)
{
    SimVolume& network = kernel.addVolume("Z", true);
    kernel.assignLetter('Z', network);
    ASSERT_EQ(service.setDrives(driveBit('C') | driveBit('Z')), driveBit('C') | driveBit('Z'));

    struct Case {
        char letter;
        std::string name;
        std::string related;
        std::string expected;
    };
    const Case cases[] = {
        { 'C', "a.exe", "\\dir", "C:\\dir\\a.exe" },
        { 'C', "b.exe", "\\", "C:\\b.exe" },
        { 'Z', "\\;Z:0000000000003e7\\server\\share\\dir\\f.exe", "", "Z:\\dir\\f.exe" },
        { 'Z', "\\server\\share\\g.exe", "", "\\\\server\\share\\g.exe" },
    };
    for (const Case& c : cases) {
        OpenSpec spec;
        spec.name = c.name;
        if (!c.related.empty())
            spec.related = kernel.makeFileObject(c.letter, c.related);
        auto open = kernel.beginOpen(c.letter, spec);
        EXPECT_EQ(service.getRequest().name, c.expected);
        answerAndTick(kVerdictAllow);
        EXPECT_EQ(open->wait(), STATUS_SUCCESS);
    }
}

TEST_F(Interception, OpensThatPassTheReadyTestTogetherAreAllHeldAndOnlyTheFirstGetsTheVerdict)
{
    auto first = beginOpen('C', "\\dir\\a.exe");
    // A second open slips past the ready flag (here: guard-on again while it is out).
    ASSERT_EQ(service.on(), STATUS_SUCCESS);
    auto second = beginOpen('C', "\\dir\\b.exe");
    EXPECT_EQ(state().heldOpens, 2u);
    EXPECT_EQ(service.getRequest().name, "C:\\dir\\b.exe");
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(first->wait(), STATUS_ACCESS_DENIED);
    EXPECT_EQ(second->wait(), STATUS_SUCCESS);
    EXPECT_EQ(state().readyFlag, 1);
}

TEST_F(Interception, AFullHoldQueueLetsTheOpenThroughUnheld)
{
    std::vector<std::shared_ptr<sim::SimRequest>> held;
    for (std::size_t i = 0; i < kHoldQueueLimit; ++i) {
        ASSERT_EQ(service.on(), STATUS_SUCCESS);
        held.push_back(beginOpen('C', "\\q\\" + std::to_string(i) + ".exe"));
    }
    EXPECT_EQ(state().heldOpens, kHoldQueueLimit);
    ASSERT_EQ(service.on(), STATUS_SUCCESS);
    auto overflow = beginOpen('C', "\\q\\overflow.exe");
    ASSERT_TRUE(overflow->completed());
    EXPECT_EQ(overflow->status(), STATUS_SUCCESS);
    EXPECT_EQ(state().heldOpens, kHoldQueueLimit);

    answerAndTick(kVerdictAllow);
    for (auto& open : held)
        EXPECT_EQ(open->wait(), STATUS_SUCCESS);
    EXPECT_EQ(state().heldOpens, 0u);
}

TEST_F(Interception, CompletionOnTheFileSystemsOwnThread)
{
    kernel.completeOnFileSystemThread = true;
    auto open = beginOpen('C', "\\dir\\a.exe");
    EXPECT_EQ(kernel.eventSetCount(requestEvent), 1);
    EXPECT_EQ(service.getRequest().name, "C:\\dir\\a.exe");
    answerAndTick(kVerdictRefuse);
    EXPECT_EQ(open->wait(), STATUS_ACCESS_DENIED);
    // A refused name never reaches the file system again.
    EXPECT_EQ(openNow('C', "\\DIR\\a.exe"), STATUS_ACCESS_DENIED);
}

TEST_F(Interception, StoppingTheDriverLetsHeldOpensThrough)
{
    auto open = beginOpen('C', "\\dir\\a.exe");
    driver.stop();
    EXPECT_EQ(open->wait(), STATUS_SUCCESS);
}

// Several programs open files at once while the service answers on its own thread and
// the hold worker runs: every open ends exactly once, the service's verdict lands on
// the open it was asked about, and nothing races (the TSan build checks that).
TEST_F(Interception, ManyOpenersOneServiceOneWorker)
{
    kernel.completeOnFileSystemThread = false;
    constexpr int kOpeners = 4;
    constexpr int kOpensEach = 20;
    std::atomic<bool> stopService { false };
    std::atomic<int> requestsSeen { 0 };
    std::thread serviceThread([&] {
        ServiceLink link(kernel);
        while (true) {
            kernel.waitEvent(requestEvent);
            if (stopService.load())
                return;
            GuardRequest request = link.getRequest();
            if (request.name.empty())
                continue;
            ++requestsSeen;
            link.answer(request.name.find("BAD") != std::string::npos ? kVerdictRefuse : kVerdictAllow);
        }
    });

    std::atomic<int> openersDone { 0 };
    std::atomic<int> goodRefused { 0 };
    std::vector<std::thread> openers;
    for (int t = 0; t < kOpeners; ++t) {
        openers.emplace_back([&, t] {
            for (int i = 0; i < kOpensEach; ++i) {
                const bool bad = (i % 5) == 4;
                OpenSpec spec;
                spec.name = bad ? "\\BAD" + std::to_string(t) + ".exe" : "\\dir\\t" + std::to_string(t) + "_" + std::to_string(i % 3) + ".dll";
                spec.process = sim::makeProcess("opener" + std::to_string(t), 100 + t);
                auto open = kernel.beginOpen('C', spec);
                const NtStatus status = open->wait();
                if (!bad && status != STATUS_SUCCESS)
                    ++goodRefused;
                EXPECT_EQ(open->completions(), 1);
            }
            ++openersDone;
        });
    }
    // The hold worker ticks whenever the service has answered or nothing is held, so no
    // open runs into the time-out while the service thread is still on its way.
    while (openersDone.load() != kOpeners) {
        const auto s = state();
        if (s.heldOpens != 0 && s.verdict == kVerdictNone)
            std::this_thread::yield();
        else
            ticks.advance(1);
    }
    for (std::thread& opener : openers)
        opener.join();
    stopService.store(true);
    kernel.signalEvent(requestEvent);
    serviceThread.join();

    EXPECT_EQ(openersDone.load(), kOpeners);
    EXPECT_EQ(goodRefused.load(), 0);
    EXPECT_GT(requestsSeen.load(), 0);
    EXPECT_EQ(state().heldOpens, 0u);
}

} // namespace vz::driver::test
