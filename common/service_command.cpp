#include "common/service_command.h"

namespace vz {

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t getU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16
        | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::vector<std::uint8_t> ServiceCommand::encode() const
{
    std::vector<std::uint8_t> out;
    out.reserve(payload.size() + 13);
    putU32(out, static_cast<std::uint32_t>(payload.size()));
    putU32(out, code);
    putU32(out, 0);
    out.insert(out.end(), payload.begin(), payload.end());
    out.push_back(0);
    return out;
}

std::optional<ServiceCommand> ServiceCommand::decode(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 13)
        return std::nullopt;
    std::uint32_t n = getU32(data);
    if (static_cast<std::uint64_t>(n) + 13 != size)
        return std::nullopt;
    ServiceCommand c;
    c.code = getU32(data + 4);
    c.payload.assign(reinterpret_cast<const char*>(data + 12), n);
    return c;
}

std::uint32_t SendServiceCommand(WindowChannel& channel, std::uint32_t code, std::string_view payload)
{
    ServiceCommand c { code, std::string(payload) };
    return channel.sendCopyData(ServiceWindowTitle, c.encode()).value_or(0);
}

} // namespace vz
