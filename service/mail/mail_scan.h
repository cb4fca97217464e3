#pragma once

#include "common/atom_table.h"
#include "service/mail/mail_ports.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vz::mail {

// One part of a message as it was tested.
struct AttachmentReport {
    std::string name;      // from the mail (may be empty)
    std::string shownAs;   // the name, or "attachment-<n>" for a part without one
    std::string testedAs;  // the temporary file it was tested as ("" when in memory)
    std::uint32_t flags = 0;
    std::uint32_t warningCode = 0;
    std::string virusName;
    std::string problem;   // why it was not wholly tested, if it was not
};

struct MailScanOutcome {
    enum class Disposition {
        NotOpened,     // the message file could not be read; nothing changed
        Deleted,       // clean: the message file was deleted
        Rewritten,     // infected: the message file was rewritten
        // Not wholly scanned: a bound of the parser (size, levels, parts, fields,
        // boundary length) or of the engine was met, or a part could not be tested.
        // The file is left unchanged; infected tells whether a virus was found all
        // the same (the atom is added then).
        NotScanned,
        // Infected but the rewrite failed or still held a virus, or clean but the
        // file could not be deleted: left unchanged.
        LeftUnchanged,
        Checked,       // the check only: scanned, nothing changed, no atom
    };
    Disposition disposition = Disposition::NotOpened;
    bool infected = false;
    std::string lastVirusName;
    std::vector<AttachmentReport> attachments;
    // Every failure met, as text (file operations, the atom, a part not written).
    std::vector<std::string> problems;

    // The mail-scan thread's answer: 1 when a virus was found, else 0.
    int result() const { return infected ? 1 : 0; }
};

// The mail scan of one message file: the whole message and every part with content
// are tested with the engine (in memory where the engine offers it, else each in a
// private temporary file; equal contents once); an infected message is rewritten (the
// notice in the subject, the infected and the attached contents cut out) and the atom
// "qelavat" added once, a clean one is deleted. A message that was not wholly scanned
// is left as it is. The guard is off meanwhile and restored afterwards.
class MailScan {
public:
    // scratchBase: the folder in which each message gets its own private folder for
    // the temporary attachment files.
    MailScan(GuardPort& guard, MailEnginePort& engine, AtomTable& atoms, std::string scratchBase);

    MailScanOutcome scanMessage(const std::string& path);

    // A larger message file is left unchanged and reported (default 256 MiB).
    void setMaxMessageBytes(std::size_t bytes) { m_maxMessageBytes = bytes; }
    // Only report: the file is neither rewritten nor deleted and no atom is added.
    void setCheckOnly(bool checkOnly) { m_checkOnly = checkOnly; }

private:
    GuardPort& m_guard;
    MailEnginePort& m_engine;
    AtomTable& m_atoms;
    std::string m_scratchBase;
    std::size_t m_maxMessageBytes;
    bool m_checkOnly = false;
};

} // namespace vz::mail
