#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the mail scan needs of the guard service, in its own words; the service wires
// its driver link, guard flag and engine in behind these.
namespace vz::mail {

// Engine options of the mail scan's file test: repair allowed, archives.
inline constexpr std::uint16_t MailTestOptions = 9;
// Longest path the engine's file test record carries.
inline constexpr std::size_t MaxEnginePathBytes = 255;
// The global atom that tells the mail interceptor a virus was found.
inline constexpr const char* VirusFoundAtom = "qelavat";

namespace TestFlag {
inline constexpr std::uint32_t Virus = 1;
inline constexpr std::uint32_t Error = 2;
inline constexpr std::uint32_t Warning = 4;
} // namespace TestFlag

// Warning codes of a test that mean the engine did not see the whole content.
namespace TestWarning {
inline constexpr std::uint32_t AccessDenied = 0x1;
inline constexpr std::uint32_t LimitsExceeded = 0x10000;
inline constexpr std::uint32_t NotWhollyTested = AccessDenied | LimitsExceeded;
} // namespace TestWarning

struct FileVerdict {
    std::uint32_t flags = 0;       // TestFlag
    std::uint32_t warningCode = 0; // TestWarning, with TestFlag::Warning
    std::string virusName;         // set when flags hold TestFlag::Virus

    bool infected() const { return (flags & TestFlag::Virus) != 0; }
    // The engine failed, or met a bound of its own or a file it could not read: a
    // clean answer would not be the truth.
    bool incomplete() const
    {
        return (flags & TestFlag::Error) != 0
            || ((flags & TestFlag::Warning) != 0 && (warningCode & TestWarning::NotWhollyTested) != 0);
    }
};

// Tests content with the scan engine, with MailTestOptions.
class MailEnginePort {
public:
    virtual ~MailEnginePort() = default;
    virtual FileVerdict testFile(const std::string& path) = 0;
    // Tests bytes without a file of their own on disk; nothing when this engine
    // cannot (the caller then writes a file and uses testFile).
    virtual std::optional<FileVerdict> testContent(std::string_view /*content*/) { return std::nullopt; }
};

// The guard: the service's guard flag and the driver's guard-off and guard-on.
class GuardPort {
public:
    virtual ~GuardPort() = default;
    virtual bool guardFlag() const = 0;
    virtual void setGuardFlag(bool on) = 0;
    virtual void sendGuardOff() = 0;
    virtual void sendGuardOn() = 0;
};

// A guard that is always off, for a run without the service and its driver.
class NoGuard final : public GuardPort {
public:
    bool guardFlag() const override { return false; }
    void setGuardFlag(bool) override {}
    void sendGuardOff() override {}
    void sendGuardOn() override {}
};

} // namespace vz::mail
