// A scan killed in the middle of a quarantine move loses nothing: after the next
// start's reconcile every file is in place as it was, or in the quarantine, owner-only,
// with its index entry.
#include "vodazedad/scan/quarantine_store.h"

#include "common/files.h"
#include "common/records/quarantine_index.h"
#include "tests/vodazedad/scan/infection_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz::scan {
namespace {

using test::Installation;
using vz::test::readAll;

unsigned modeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Quarantines the file in a child that is killed (SIGKILL) right after `step`.
void quarantineKilledAfter(Installation& inst, const std::string& path, QuarantineStep step)
{
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        inst.store.setStepHook([step](QuarantineStep reached) {
            if (reached == step)
                ::raise(SIGKILL);
        });
        inst.store.quarantine(path, "Eicar-Test-Signature");
        ::_exit(0); // the step was never reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the move did not reach its step";
}

TEST(QuarantineCrash, AKillAfterAnyStepLeavesTheFileInPlaceOrQuarantinedWithItsEntry)
{
    struct Case {
        const char* name;
        QuarantineStep step;
        bool quarantined; // where the file is once the next start has reconciled
    } cases[] = {
        { "number reserved", QuarantineStep::Reserved, false },
        { "moved", QuarantineStep::Moved, true },
        { "entry written", QuarantineStep::Recorded, true },
        { "made private", QuarantineStep::Private, true },
        { "named", QuarantineStep::Named, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        std::string path = inst.infected("a.exe", "infected content");
        ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
        quarantineKilledAfter(inst, path, c.step);

        // The next start.
        QuarantineStore next(inst.location, inst.clock);
        next.reconcile();

        auto index = records::readQuarantineIndex(inst.location);
        auto left = files::listDirectory(inst.location.quarantineFolder()).valueOr({});
        if (c.quarantined) {
            EXPECT_FALSE(files::exists(path));
            EXPECT_EQ(readAll(inst.quarantined("AV0.QRT")), "infected content");
            EXPECT_EQ(modeOf(inst.quarantined("AV0.QRT")), 0600u);
            ASSERT_TRUE(index.ok());
            ASSERT_EQ(index->size(), 1u); // never written twice
            EXPECT_EQ((*index)[0].fileName, "AV0.QRT");
            EXPECT_EQ((*index)[0].formerPath, path);
            EXPECT_EQ(left.size(), 1u); // no intent or pending name left over
        } else {
            EXPECT_EQ(readAll(path), "infected content");
            EXPECT_EQ(modeOf(path), 0755u);
            EXPECT_TRUE(!index.ok() || index->empty());
            EXPECT_TRUE(left.empty());
        }
        // A reconciled quarantine takes the next file as usual.
        std::string second = inst.infected("b.exe");
        EXPECT_EQ(next.quarantine(second, "v").code, records::RecordCode::Quarantined);
        EXPECT_EQ(next.reconcile(), 0);
    }
}

TEST(QuarantineCrash, ReconcileLeavesFilesThatAreNotItsOwnAlone)
{
    Installation inst;
    // An intent whose lines are cut, and one that names another file than itself.
    ASSERT_TRUE(files::replaceFile(inst.quarantined("AV0.QRT.intent"), "05/03/2006 14:07\r\nAV0.Q").ok());
    ASSERT_TRUE(files::replaceFile(inst.quarantined("AV1.QRT.intent"), "05/03/2006 14:07\r\nAV7.QRT\r\nv\r\n/x\r\n").ok());
    ASSERT_TRUE(files::replaceFile(inst.quarantined("AV1.QRT.pending"), "data").ok());
    EXPECT_EQ(inst.store.reconcile(), 0);
    EXPECT_EQ(files::listDirectory(inst.location.quarantineFolder())->size(), 3u);
    EXPECT_FALSE(files::exists(inst.location.quarantineIndex()));
}

} // namespace
} // namespace vz::scan
