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
    std::string testedAs;  // the temporary file it was tested as
    std::uint32_t flags = 0;
    std::string virusName;
    std::string problem;   // why it could not be written, if it could not
};

struct MailScanOutcome {
    enum class Disposition {
        NotOpened,     // the message file could not be read; nothing changed
        Deleted,       // clean: the message file was deleted
        Rewritten,     // infected: the message file was rewritten
        LeftUnchanged, // infected but the rewrite failed, or a part could not be tested
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

// The mail scan of one message file: every part with content is written to a private
// temporary file and tested with the engine; an infected message is rewritten (the
// notice in the subject, the attached contents cut out) and the atom "qelavat" added
// once, a clean one is deleted. The guard is off meanwhile and restored afterwards.
class MailScan {
public:
    // scratchBase: the folder in which each message gets its own private folder for
    // the temporary attachment files.
    MailScan(GuardPort& guard, MailEnginePort& engine, AtomTable& atoms, std::string scratchBase);

    MailScanOutcome scanMessage(const std::string& path);

    // A larger message file is left unchanged and reported (default 256 MiB).
    void setMaxMessageBytes(std::size_t bytes) { m_maxMessageBytes = bytes; }

private:
    GuardPort& m_guard;
    MailEnginePort& m_engine;
    AtomTable& m_atoms;
    std::string m_scratchBase;
    std::size_t m_maxMessageBytes;
};

} // namespace vz::mail
