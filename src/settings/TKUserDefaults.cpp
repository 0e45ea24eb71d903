#include "settings/TKUserDefaults.h"

std::optional<int64_t> TKMemoryUserDefaults::integerForKey(std::string_view key) const
{
    const auto found = m_values.find(key);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

void TKMemoryUserDefaults::setInteger(std::string_view key, int64_t value)
{
    m_values.insert_or_assign(std::string(key), value);
}
