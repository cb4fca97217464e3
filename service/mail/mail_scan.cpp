#include "service/mail/mail_scan.h"

#include "common/files.h"
#include "common/lang/local_text.h"
#include "service/mail/attachment_folder.h"
#include "service/mail/mail_limits.h"
#include "service/mail/message_file.h"
#include "service/mail/message_part.h"
#include "service/mail/message_rewrite.h"

#include <functional>
#include <optional>

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
    MailScanOutcome outcome;
    GuardPause pause(m_guard);

    if (auto size = files::status(path); size && size->size > m_maxMessageBytes) {
        outcome.problems.push_back(path + ": message larger than " + std::to_string(m_maxMessageBytes) + " bytes");
        outcome.disposition = MailScanOutcome::Disposition::LeftUnchanged;
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
    (void)message.load(text); // an incomplete header leaves no part with content
    std::vector<MessagePart*> leaves;
    message.collectLeaves(leaves);

    bool untested = false;
    std::optional<AttachmentFolder> folder;
    auto testContent = [&](std::string_view name, std::size_t index, const std::function<Result<void>(const std::string&)>& write) {
        AttachmentReport report;
        report.name = std::string(name);
        if (!folder) {
            auto made = AttachmentFolder::create(m_scratchBase);
            if (!made) {
                report.problem = made.error().text();
                untested = true;
                outcome.attachments.push_back(std::move(report));
                return;
            }
            folder.emplace(std::move(*made));
        }
        auto file = folder->pathFor(name, index);
        if (!file) {
            report.problem = file.error().text();
            untested = true;
            outcome.attachments.push_back(std::move(report));
            return;
        }
        report.testedAs = *file;
        if (auto written = write(*file); !written) {
            // The part could not be put on disk, so the engine cannot see it: the
            // message is not taken as clean.
            report.problem = written.error().text();
            untested = true;
        } else {
            FileVerdict verdict = m_engine.testFile(*file);
            report.flags = verdict.flags;
            if (verdict.infected()) {
                report.virusName = verdict.virusName;
                if (!outcome.infected) {
                    if (auto added = m_atoms.addAtom(VirusFoundAtom); !added)
                        outcome.problems.push_back(added.error().text());
                }
                outcome.infected = true;
                outcome.lastVirusName = verdict.virusName;
            }
        }
        (void)files::remove(*file);
        outcome.attachments.push_back(std::move(report));
    };

    // The whole message is tested first, the engine reading the mail format itself:
    // a message the parser cannot take apart, or a part that other mail programs
    // decode differently (base64 with stray characters), does not pass unseen. The
    // parts follow, so the last virus name is that of the last infected part.
    if (!text.empty())
        testContent("message.eml", 0, [&text](const std::string& file) { return writeNewFile(file, text); });

    std::size_t index = 0;
    for (MessagePart* leaf : leaves) {
        ++index;
        if (leaf->contentLength() == 0)
            continue;
        testContent(attachmentNameOf(*leaf), index,
            [leaf](const std::string& file) { return leaf->saveContent(file); });
    }
    folder.reset();

    for (const auto& report : outcome.attachments) {
        if (!report.problem.empty())
            outcome.problems.push_back(report.problem);
    }

    if (outcome.infected) {
        std::string notice = formatVirusNotice(
            LocalText("virusfoundinmail", "[Vantrelo Vodazedad removed virus: %s]"), outcome.lastVirusName);
        if (auto rewritten = replaceMessageFile(path, rewriteInfectedMessage(text, notice)); rewritten) {
            outcome.disposition = MailScanOutcome::Disposition::Rewritten;
        } else {
            outcome.problems.push_back(rewritten.error().text());
            outcome.disposition = MailScanOutcome::Disposition::LeftUnchanged;
        }
    } else if (untested) {
        outcome.disposition = MailScanOutcome::Disposition::LeftUnchanged;
    } else if (auto removed = files::remove(path); removed) {
        outcome.disposition = MailScanOutcome::Disposition::Deleted;
    } else {
        outcome.problems.push_back(removed.error().text());
        outcome.disposition = MailScanOutcome::Disposition::LeftUnchanged;
    }
    return outcome;
}

} // namespace vz::mail
