#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zul::platform {

// Registry value types the program uses; anything else reads as Other.
enum class ValueType { String, DWord, Binary, Other };

// An open registry key. Strings are single-byte Windows-1252 text, exactly as stored.
// Key paths and value names compare without regard to letter case. Reads answer nothing for
// a missing value and for a value of another type; writes answer false when the store cannot
// be written. Nothing is cached: every call sees the store as it
// is now.
class RegistryKey
{
public:
    virtual ~RegistryKey() = default;

    virtual std::optional<ValueType> valueType(const std::string& name) const = 0;
    virtual std::optional<std::string> readString(const std::string& name) const = 0;
    virtual std::optional<std::uint32_t> readDWord(const std::string& name) const = 0;
    virtual std::optional<std::vector<std::uint8_t>> readBinary(const std::string& name) const = 0;
    virtual std::vector<std::string> valueNames() const = 0;

    virtual bool writeString(const std::string& name, const std::string& value) = 0;
    virtual bool writeDWord(const std::string& name, std::uint32_t value) = 0;
    virtual bool writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) = 0;
    // False also when there is no such value, as the Windows registry answers.
    virtual bool deleteValue(const std::string& name) = 0;
};

// Where HKEY_LOCAL_MACHINE lives. On Linux it is a .reg text file (regedit format), one per
// machine. On Windows it is the machine's own registry when `file` is empty; a named `file` is a
// store of its own there too, for a second copy of the program or a test that must not touch
// the machine's settings: the key of that path under HKEY_CURRENT_USER\<NamedStoresKeyPath>
// (see namedStoreKeyPath), whose subkeys stand for those of HKEY_LOCAL_MACHINE.
struct RegistryStore
{
    std::string file;
};

// Windows: the key under HKEY_CURRENT_USER that holds the named stores.
inline constexpr const char* NamedStoresKeyPath = "Software\\Zul\\Stores";

// Windows: the key under HKEY_CURRENT_USER of the store named `file`. Each folder of the path
// is a key of its own ("C:/dados/m.reg" is Software\Zul\Stores\C:\dados\m.reg), so every
// store named by a file of a folder lies under that folder's key.
inline std::string namedStoreKeyPath(const std::string& file)
{
    std::string key = std::string(NamedStoresKeyPath) + '\\';
    for (const char c : file) {
        const bool separator = c == '/' || c == '\\';
        if (!separator)
            key += c;
        else if (key.back() != '\\') // "a//b" is "a/b"; a registry key name is never empty
            key += '\\';
    }
    while (key.back() == '\\')
        key.pop_back();
    return key;
}

// The store of this machine when none is named: $ZUL_REGISTRY, else a fixed system path.
RegistryStore defaultRegistryStore();

// Opens the key `path` (backslash separated) under HKEY_LOCAL_MACHINE, creating it and any
// missing parent when `create` is set. Null when the key cannot be opened or created; on
// Linux also when the store file exists but cannot be read or parsed.
std::unique_ptr<RegistryKey> openLocalMachineKey(const RegistryStore& store, const std::string& path,
                                                 bool create);

// Why the store cannot be used, naming the file, the line when one is at fault, and what is
// wrong ("arquivo de registro FILE, linha N: ..."); empty when it can be read or does not
// exist yet. The Windows registry has no such failure: always empty there.
std::string registryStoreProblem(const RegistryStore& store);

namespace detail {
// The .reg text parser on its own, for the fuzzer and the tests: empty when `text` is a
// readable store (and then `roundTrip`, when given, receives it written out again), else
// "linha N: what was wrong".
std::string parseRegistryText(const std::string& text, std::string* roundTrip = nullptr);
} // namespace detail

} // namespace zul::platform
