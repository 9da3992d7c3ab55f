#pragma once

#include "platform/Registry.h"

#include <algorithm>
#include <map>
#include <memory>
#include <variant>

namespace zul::test {

// HKEY_LOCAL_MACHINE in memory, keys by path, values in the order they were first written
// (the enumeration order the readers see). Can refuse writes, like a read-only store.
class MemoryRegistry
{
public:
    using Value = std::variant<std::string, std::uint32_t, std::vector<std::uint8_t>>;
    struct Key
    {
        std::vector<std::pair<std::string, Value>> values;
    };

    bool readOnly = false;
    std::map<std::string, Key> keys;
    std::vector<std::string> opened;

    Key* find(const std::string& path)
    {
        const auto it = keys.find(path);
        return it == keys.end() ? nullptr : &it->second;
    }

    const Value* get(const std::string& path, const std::string& name)
    {
        if (Key* key = find(path)) {
            for (const auto& [n, value] : key->values) {
                if (n == name)
                    return &value;
            }
        }
        return nullptr;
    }

    void set(const std::string& path, const std::string& name, Value value)
    {
        auto& values = keys[path].values;
        const auto it =
            std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
        if (it != values.end())
            it->second = std::move(value);
        else
            values.emplace_back(name, std::move(value));
    }

    std::unique_ptr<platform::RegistryKey> open(const std::string& path, bool create);

    auto opener()
    {
        return [this](const std::string& path, bool create) { return open(path, create); };
    }
};

class MemoryRegistryKey final : public platform::RegistryKey
{
public:
    MemoryRegistryKey(MemoryRegistry& registry, std::string path)
        : m_registry(registry), m_path(std::move(path))
    {}

    std::optional<platform::ValueType> valueType(const std::string& name) const override
    {
        const MemoryRegistry::Value* v = find(name);
        if (!v)
            return std::nullopt;
        if (std::holds_alternative<std::string>(*v))
            return platform::ValueType::String;
        if (std::holds_alternative<std::uint32_t>(*v))
            return platform::ValueType::DWord;
        return platform::ValueType::Binary;
    }
    std::optional<std::string> readString(const std::string& name) const override
    {
        const MemoryRegistry::Value* v = find(name);
        if (!v || !std::holds_alternative<std::string>(*v))
            return std::nullopt;
        return std::get<std::string>(*v);
    }
    std::optional<std::uint32_t> readDWord(const std::string& name) const override
    {
        const MemoryRegistry::Value* v = find(name);
        if (!v || !std::holds_alternative<std::uint32_t>(*v))
            return std::nullopt;
        return std::get<std::uint32_t>(*v);
    }
    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& name) const override
    {
        const MemoryRegistry::Value* v = find(name);
        if (!v || !std::holds_alternative<std::vector<std::uint8_t>>(*v))
            return std::nullopt;
        return std::get<std::vector<std::uint8_t>>(*v);
    }
    std::vector<std::string> valueNames() const override
    {
        std::vector<std::string> names;
        for (const auto& [name, value] : key().values)
            names.push_back(name);
        return names;
    }
    bool writeString(const std::string& name, const std::string& value) override
    {
        return write(name, value);
    }
    bool writeDWord(const std::string& name, std::uint32_t value) override { return write(name, value); }
    bool writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) override
    {
        return write(name, value);
    }
    bool deleteValue(const std::string& name) override
    {
        if (m_registry.readOnly)
            return false;
        auto& values = key().values;
        std::erase_if(values, [&](const auto& v) { return v.first == name; });
        return true;
    }

private:
    MemoryRegistry::Key& key() const { return m_registry.keys[m_path]; }
    const MemoryRegistry::Value* find(const std::string& name) const
    {
        for (const auto& [n, value] : key().values) {
            if (n == name)
                return &value;
        }
        return nullptr;
    }
    bool write(const std::string& name, MemoryRegistry::Value value)
    {
        if (m_registry.readOnly)
            return false;
        m_registry.set(m_path, name, std::move(value));
        return true;
    }

    MemoryRegistry& m_registry;
    std::string m_path;
};

inline std::unique_ptr<platform::RegistryKey> MemoryRegistry::open(const std::string& path, bool create)
{
    opened.push_back(path);
    if (!find(path)) {
        if (!create || readOnly)
            return nullptr;
        keys[path];
    }
    return std::make_unique<MemoryRegistryKey>(*this, path);
}

} // namespace zul::test
