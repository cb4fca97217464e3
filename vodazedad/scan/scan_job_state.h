#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vz::scan {

// The job state the worker writes and the window thread reads for display. Counters
// are atomics (the worker is their only writer); texts are copied under a lock.
class ScanJobState {
public:
    void reset();

    std::atomic<bool> abort { false };
    std::atomic<long> filesHandled { 0 };
    std::atomic<long> infections { 0 };
    std::atomic<long> warnings { 0 };
    std::atomic<long> cleaned { 0 };            // first removal counter
    std::atomic<long> deletedOrQuarantined { 0 }; // second removal counter
    std::atomic<long> fileTotal { 0 };          // handed over when a counting pass ends
    std::atomic<int> activeWorkers { 0 };
    std::atomic<bool> scanning { false };

    void setCurrentFile(const std::string& path);
    std::string currentFile() const;
    void setLastVirus(const std::string& name);
    std::string lastVirus() const;
    void setLastInfectedPath(const std::string& path);
    std::string lastInfectedPath() const;

private:
    mutable std::mutex m_mutex;
    std::string m_currentFile;
    std::string m_lastVirus;
    std::string m_lastInfectedPath;
};

} // namespace vz::scan
