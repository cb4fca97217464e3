#include "service/mail/mail_scan.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "service/mail/attachment_folder.h"
#include "service/mail/mail_limits.h"
#include "service/mail/message_file.h"
#include "service/mail/message_part.h"
#include "service/mail/message_rewrite.h"

#include <optional>
#include <string_view>
#include <unordered_map>

namespace vz::mail {

namespace {

// Switches the guard off for the scan, so the service's own file work is not
// intercepted while its main thread waits, and puts it back as it was on every path.
class GuardPause {
public:
    explicit GuardPause(GuardPort& guard)
        : m_guard(guard)
        , m_wasOn(guard.guardFlag())
    {
        m_guard.setGuardFlag(false);
        m_guard.sendGuardOff();
    }
    ~GuardPause()
    {
        m_guard.setGuardFlag(m_wasOn);
        if (m_wasOn)
            m_guard.sendGuardOn();
    }
    GuardPause(const GuardPause&) = delete;
    GuardPause& operator=(const GuardPause&) = delete;

private:
    GuardPort& m_guard;
    bool m_wasOn;
};

// The name a part is tested under: the "name" of its Content-Type, else the
// "filename" of its Content-Disposition (many mailers name attachments only there).
std::string attachmentNameOf(const MessagePart& part)
{
    std::string name = part.attachmentName();
    if (name.empty())
        name = part.parameter("Content-Disposition", "filename");
    return name;
}

// Tests contents with the engine: in memory where the engine offers it, else each in
// a file of its own in a private folder made when first needed.
class ContentTester {
public:
    ContentTester(MailEnginePort& engine, const std::string& scratchBase)
        : m_engine(engine)
        , m_scratchBase(scratchBase)
    {
    }

    // index names a part without a usable name ("attachment-<index>").
    AttachmentReport test(std::string_view name, std::size_t index, std::string_view content)
    {
        AttachmentReport report;
        report.name = std::string(name);
        report.shownAs = name.empty() ? "attachment-" + std::to_string(index) : report.name;
        FileVerdict verdict;
        if (auto inMemory = m_engine.testContent(content)) {
            verdict = std::move(*inMemory);
        } else if (auto onDisk = testAsFile(name, index, content, report)) {
            verdict = std::move(*onDisk);
        } else {
            return report; // report.problem says why
        }
        report.flags = verdict.flags;
        report.warningCode = verdict.warningCode;
        if (verdict.infected())
            report.virusName = verdict.virusName;
        if (verdict.incomplete()) {
            report.problem = report.shownAs + ": the engine could not test it wholly (flags "
                + std::to_string(verdict.flags) + ", warning " + std::to_string(verdict.warningCode) + ")";
        }
        return report;
    }

private:
    std::optional<FileVerdict> testAsFile(
        std::string_view name, std::size_t index, std::string_view content, AttachmentReport& report)
    {
        if (!m_folder) {
            auto made = AttachmentFolder::create(m_scratchBase);
            if (!made) {
                report.problem = made.error().text();
                return std::nullopt;
            }
            m_folder.emplace(std::move(*made));
        }
        auto file = m_folder->pathFor(name, index);
        if (!file) {
            report.problem = file.error().text();
            return std::nullopt;
        }
        report.testedAs = *file;
        std::optional<FileVerdict> verdict;
        // A part that cannot be put on disk cannot be seen by the engine.
        if (auto written = writeNewFile(*file, content); !written)
            report.problem = written.error().text();
        else
            verdict = m_engine.testFile(*file);
        ignoreError(files::remove(*file), "the private folder and all in it go with the message");
        return verdict;
    }

    MailEnginePort& m_engine;
    const std::string& m_scratchBase;
    std::optional<AttachmentFolder> m_folder;
};

} // namespace

MailScan::MailScan(GuardPort& guard, MailEnginePort& engine, AtomTable& atoms, std::string scratchBase)
    : m_guard(guard)
    , m_engine(engine)
    , m_atoms(atoms)
    , m_scratchBase(std::move(scratchBase))
    , m_maxMessageBytes(limits::MaxMessageBytes)
{
}

MailScanOutcome MailScan::scanMessage(const std::string& path)
{
    using Disposition = MailScanOutcome::Disposition;
    MailScanOutcome outcome;
    GuardPause pause(m_guard);

    if (auto size = files::status(path); size && size->size > m_maxMessageBytes) {
        outcome.problems.push_back(path + ": message larger than " + std::to_string(m_maxMessageBytes) + " bytes");
        outcome.disposition = Disposition::NotScanned;
        return outcome;
    }
    auto raw = files::readFile(path);
    if (!raw) {
        outcome.problems.push_back(raw.error().text());
        return outcome;
    }

    // The parser needs CR LF line ends, whatever the file uses. The rewrite reads the
    // same lines from this text, so the file's own bytes need not be kept.
    const std::string text = withCrLfLineEnds(*raw);
    raw = std::string {};
    MailMessage message;
    // An incomplete header leaves no part with content, and the whole message is
    // tested anyway; only a failed allocation (negative) leaves parts unseen.
    const long loaded = message.load(text);
    std::vector<MessagePart*> leaves;
    message.collectLeaves(leaves);

    bool untested = false;
    ContentTester tester(m_engine, m_scratchBase);
    auto record = [&](AttachmentReport report) {
        if (!report.problem.empty()) {
            untested = true;
            outcome.problems.push_back(report.problem);
        }
        if (!report.virusName.empty() || (report.flags & TestFlag::Virus)) {
            if (!outcome.infected && !m_checkOnly) {
                if (auto added = m_atoms.addAtom(VirusFoundAtom); !added)
                    outcome.problems.push_back(added.error().text());
            }
            outcome.infected = true;
            outcome.lastVirusName = report.virusName;
        }
        outcome.attachments.push_back(std::move(report));
        return (outcome.attachments.back().flags & TestFlag::Virus) != 0;
    };

    // The whole message is tested first, the engine reading the mail format itself:
    // a message the parser cannot take apart, or a part that other mail programs
    // decode differently (base64 with stray characters), does not pass unseen. The
    // parts follow, so the last virus name is that of the last infected part.
    const bool wholeInfected = !text.empty() && record(tester.test("message.eml", 0, text));

    // Equal contents (a mail of many copies of one part) are tested once.
    std::unordered_map<std::string_view, std::size_t> testedContent;
    std::vector<bool> infectedLeaves(leaves.size(), false);
    bool anyLeafInfected = false;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const MessagePart& leaf = *leaves[i];
        if (leaf.contentLength() == 0)
            continue;
        const std::string name = attachmentNameOf(leaf);
        auto [seen, isNew] = testedContent.try_emplace(leaf.contentView(), outcome.attachments.size());
        if (isNew) {
            infectedLeaves[i] = record(tester.test(name, i + 1, leaf.contentView()));
        } else {
            const AttachmentReport& first = outcome.attachments[seen->second];
            AttachmentReport again;
            again.name = name;
            again.shownAs = name.empty() ? "attachment-" + std::to_string(i + 1) : name;
            again.testedAs = first.testedAs;
            again.flags = first.flags;
            again.warningCode = first.warningCode;
            again.virusName = first.virusName;
            infectedLeaves[i] = record(std::move(again)); // its problem is reported once
        }
        anyLeafInfected = anyLeafInfected || infectedLeaves[i];
    }

    // What lies beyond a bound of the parser was only seen raw: no verdict on it.
    if (message.boundsMet() != 0) {
        outcome.problems.push_back(
            path + ": not scanned wholly, the message has " + limits::describeBounds(message.boundsMet()));
        untested = true;
    }
    if (loaded < 0) {
        outcome.problems.push_back(path + ": the message could not be taken apart (out of memory)");
        untested = true;
    }
    if (untested) {
        outcome.disposition = Disposition::NotScanned;
        return outcome;
    }
    if (m_checkOnly) {
        outcome.disposition = Disposition::Checked;
        return outcome;
    }

    if (outcome.infected) {
        // Only the whole message was infected: the virus lies in no part we can point
        // at, so every part loses its content.
        if (wholeInfected && !anyLeafInfected) {
            for (std::size_t i = 0; i < leaves.size(); ++i)
                infectedLeaves[i] = leaves[i]->contentLength() != 0;
        }
        std::string notice = formatVirusNotice(
            LocalText("virusfoundinmail", "[Vantrelo Vodazedad removed virus: %s]"), outcome.lastVirusName);
        std::string rewritten = rewriteInfectedMessage(text, notice, cutsForRewrite(text, leaves, infectedLeaves));
        // The rewritten message is tested too: one that still holds a virus (in a
        // header, say) is not handed back as cleaned.
        AttachmentReport check = tester.test("message.eml", 0, rewritten);
        if (!check.problem.empty() || (check.flags & TestFlag::Virus)) {
            outcome.problems.push_back(path + ": the rewritten message still holds a virus or could not be tested ("
                + (check.problem.empty() ? check.virusName : check.problem) + ")");
            outcome.disposition = Disposition::LeftUnchanged;
        } else if (auto replaced = replaceMessageFile(path, rewritten); replaced) {
            outcome.disposition = Disposition::Rewritten;
        } else {
            outcome.problems.push_back(replaced.error().text());
            outcome.disposition = Disposition::LeftUnchanged;
        }
    } else if (auto removed = files::remove(path); removed) {
        outcome.disposition = Disposition::Deleted;
    } else {
        outcome.problems.push_back(removed.error().text());
        outcome.disposition = Disposition::LeftUnchanged;
    }
    return outcome;
}

} // namespace vz::mail
