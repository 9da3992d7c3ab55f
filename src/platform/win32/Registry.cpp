#include "platform/Registry.h"

#include <windows.h>

namespace zul::platform {
namespace {

// The original program and the configuration tools that share this key are 32-bit, so on a
// 64-bit Windows their HKEY_LOCAL_MACHINE\Software is the 32-bit view (Wow6432Node). This
// build must read and write that same view whatever its own word size.
constexpr REGSAM kView = KEY_WOW64_32KEY;

class Win32Key final : public RegistryKey
{
public:
    explicit Win32Key(HKEY key) : m_key(key) {}
    ~Win32Key() override { RegCloseKey(m_key); }
    Win32Key(const Win32Key&) = delete;
    Win32Key& operator=(const Win32Key&) = delete;

    std::optional<ValueType> valueType(const std::string& name) const override
    {
        DWORD type = 0;
        if (RegQueryValueExA(m_key, name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            return std::nullopt;
        switch (type) {
        case REG_SZ:
            return ValueType::String;
        case REG_DWORD:
            return ValueType::DWord;
        case REG_BINARY:
            return ValueType::Binary;
        default:
            return ValueType::Other;
        }
    }

    std::optional<std::string> readString(const std::string& name) const override
    {
        const auto data = query(name, REG_SZ);
        if (!data)
            return std::nullopt;
        std::string text(data->begin(), data->end());
        // The terminating NUL is usually stored with the text, but nothing forces a writer to.
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        return text;
    }

    std::optional<std::uint32_t> readDWord(const std::string& name) const override
    {
        const auto data = query(name, REG_DWORD);
        if (!data || data->size() != 4)
            return std::nullopt;
        const auto& d = *data;
        return d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
    }

    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& name) const override
    {
        return query(name, REG_BINARY);
    }

    std::vector<std::string> valueNames() const override
    {
        std::vector<std::string> names;
        DWORD longest = 0;
        if (RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        std::string buf(longest + 1, '\0');
        for (DWORD index = 0;;) {
            DWORD length = static_cast<DWORD>(buf.size());
            const LONG rc =
                RegEnumValueA(m_key, index, buf.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_MORE_DATA) {
                buf.resize(buf.size() * 2); // a longer name was added meanwhile
                continue;
            }
            if (rc != ERROR_SUCCESS)
                break;
            names.emplace_back(buf.data(), length);
            ++index;
        }
        return names;
    }

    bool writeString(const std::string& name, const std::string& value) override
    {
        return set(name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    }

    bool writeDWord(const std::string& name, std::uint32_t value) override
    {
        const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                              static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
        return set(name, REG_DWORD, data, sizeof data);
    }

    bool writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) override
    {
        return set(name, REG_BINARY, value.data(), value.size());
    }

    bool deleteValue(const std::string& name) override
    {
        return RegDeleteValueA(m_key, name.c_str()) == ERROR_SUCCESS;
    }

private:
    std::optional<std::vector<std::uint8_t>> query(const std::string& name, DWORD wanted) const
    {
        std::vector<std::uint8_t> data(64);
        while (true) {
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(data.size());
            const LONG rc = RegQueryValueExA(m_key, name.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                data.resize(size);
                continue;
            }
            if (rc != ERROR_SUCCESS || type != wanted)
                return std::nullopt;
            data.resize(size);
            return data;
        }
    }

    bool set(const std::string& name, DWORD type, const BYTE* data, std::size_t size)
    {
        return RegSetValueExA(m_key, name.c_str(), 0, type, data, static_cast<DWORD>(size)) == ERROR_SUCCESS;
    }

    HKEY m_key;
};

} // namespace

RegistryStore defaultRegistryStore()
{
    return RegistryStore{};
}

std::string registryStoreProblem(const RegistryStore&)
{
    return {};
}

std::unique_ptr<RegistryKey> openLocalMachineKey(const RegistryStore& store, const std::string& path,
                                                 bool create)
{
    // A named store: the same path below its own key.
    const HKEY root = store.file.empty() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::string full = store.file.empty() ? path : namedStoreKeyPath(store.file) + '\\' + path;
    HKEY key = nullptr;
    LONG rc;
    if (create) {
        rc = RegCreateKeyExA(root, full.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kView,
                             nullptr, &key, nullptr);
    } else {
        rc = RegOpenKeyExA(root, full.c_str(), 0, KEY_ALL_ACCESS | kView, &key);
    }
    // A desktop user usually may read HKEY_LOCAL_MACHINE but not write it: the settings the
    // administrator stored must still be seen, only writes fail.
    if (rc == ERROR_ACCESS_DENIED)
        rc = RegOpenKeyExA(root, full.c_str(), 0, KEY_READ | kView, &key);
    if (rc != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32Key>(key);
}

} // namespace zul::platform
