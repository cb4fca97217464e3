#include "common/lang/local_text.h"

#include "common/text.h"

#include <atomic>

namespace vz {

namespace {

// The source is swapped whole; a reader holds its own reference while it looks up.
std::atomic<std::shared_ptr<const TextSource>>& currentSource()
{
    static std::atomic<std::shared_ptr<const TextSource>> source;
    return source;
}

} // namespace

std::string LocalText(std::string_view key, std::string_view englishDefault)
{
    std::shared_ptr<const TextSource> source = currentSource().load();
    std::string answer = source ? source->localText(key, englishDefault) : std::string(englishDefault);
    return std::string(text::truncateUtf8(answer, LocalTextMaxBytes));
}

void installTextSource(std::shared_ptr<const TextSource> source)
{
    currentSource().store(std::move(source));
}

} // namespace vz
