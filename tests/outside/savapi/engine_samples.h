#pragma once

#include "common/engine/scan_engine.h"
#include "platform/dynlib/dynamic_library.h"
#include "tests/support/temp_dir.h"

#include <memory>
#include <string>
#include <string_view>

// Samples and helpers of the engine tests. The samples are kept as hexadecimal text
// and decoded at run time, so that no source or binary of the tests is detected.
namespace vz::test::engine {

std::string fromHex(std::string_view hex);

// The 68-byte standard antivirus test file.
std::string standardTestFile();
// The repairable test family's block: begin marker, body, end marker.
std::string appendedBlock();
// A host that looks like a small program: text, zeros and every byte value.
std::string cleanHost();
// A ZIP archive whose one member is encrypted.
std::string encryptedZip();

// A spreadsheet (an OLE2 compound file with a BIFF8 "Workbook" stream) that holds an
// Excel 4.0 macro sheet: office macros for the macro heuristics.
std::string spreadsheetWithMacroSheet();

// The test files of libclamav's Debian package.
inline constexpr std::string_view TestFilesFolder = "/usr/share/clamav-testfiles/";
std::string testFile(std::string_view name);

// The engine files of the installation folder the build assembled.
vz::engine::EnginePaths builtEngine();
// A copy of the built engine in folder (readable by everyone), to spoil at will.
vz::engine::EnginePaths copyEngine(const TempDir& folder);

// Starts the engine; fails the test when it does not start.
std::unique_ptr<vz::engine::ScanEngine> startEngine(const vz::engine::EnginePaths& paths);
// The engine's own answer to a start (0 on success).
int startCode(const vz::engine::EnginePaths& paths);

// Tests one file and answers the record.
vz::engine::FileTestRecord test(const vz::engine::ScanEngine& engine, const std::string& path, std::uint16_t options);

} // namespace vz::test::engine
