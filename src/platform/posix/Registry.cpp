// HKEY_LOCAL_MACHINE kept in one .reg text file in regedit's REGEDIT4 format, so that an
// administrator can read it, edit it and move it between machines with the usual tools.
#include "platform/Registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zul::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
constexpr const char* kDefaultStore = "/var/lib/zul/registry.reg";

// Windows registry type numbers, as written in hex(N): data.
enum : std::uint32_t { kRegSz = 1, kRegBinary = 3, kRegDWord = 4 };

// Comment lines (";" ...) written by an administrator are part of what the file says: each is
// kept with the value or key it stands before and written back with it.
using Comments = std::vector<std::string>;

struct Value
{
    std::string name;
    std::uint32_t type = kRegBinary;
    std::vector<std::uint8_t> data; // a string without its terminating NUL
    Comments comments;
};

struct Section
{
    std::string path; // full path with its root, as written in the file
    std::vector<Value> values;
    Comments comments;
};

struct Document
{
    std::vector<Section> sections;
    Comments trailing; // after the last value of the file
};

enum class LoadResult { Ok, Missing, Unusable };

// Why a store could not be used: the line (counted from 1, 0 for the file as a whole) and
// what was wrong there.
struct LoadProblem
{
    std::size_t line = 0;
    std::string reason;
};

// Key and value names compare like the Windows registry: without regard to letter case, for
// ASCII and for the accented letters of Windows-1252.
unsigned char foldChar(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 'a' + 'A');
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A; // š
    case 0x9C:
        return 0x8C; // œ
    case 0x9E:
        return 0x8E; // ž
    case 0xFF:
        return 0x9F; // ÿ
    default:
        return c;
    }
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldChar(static_cast<unsigned char>(x)) == foldChar(static_cast<unsigned char>(y));
           });
}

// True when `path` is `key` itself or lies below it.
bool isSameOrBelow(std::string_view path, std::string_view key)
{
    if (path.size() < key.size() || !sameName(path.substr(0, key.size()), key))
        return false;
    return path.size() == key.size() || path[key.size()] == '\\';
}

Section* findSection(Document& doc, std::string_view path)
{
    for (auto& s : doc.sections) {
        if (sameName(s.path, path))
            return &s;
    }
    return nullptr;
}

const Value* findValue(const Section& s, std::string_view name)
{
    for (const auto& v : s.values) {
        if (sameName(v.name, name))
            return &v;
    }
    return nullptr;
}

bool keyExists(const Document& doc, std::string_view path)
{
    if (sameName(path, kRoot))
        return true;
    return std::any_of(doc.sections.begin(), doc.sections.end(),
                       [&](const Section& s) { return isSameOrBelow(s.path, path); });
}

// Adds a section for the key and for every missing parent, as regedit does on import.
Section& ensureSection(Document& doc, const std::string& path)
{
    std::size_t pos = 0;
    while (true) {
        pos = path.find('\\', pos + 1);
        const std::string prefix = path.substr(0, pos);
        if (!findSection(doc, prefix))
            doc.sections.push_back(Section{prefix, {}, {}});
        if (pos == std::string::npos)
            break;
    }
    return *findSection(doc, path);
}

// ---- parsing ------------------------------------------------------------------------------

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A quoted text with \\ and \" escapes, starting at s[pos] == '"'. Advances pos past the
// closing quote.
bool parseQuoted(std::string_view s, std::size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= s.size() || (s[pos] != '\\' && s[pos] != '"'))
                return false;
            out += s[pos];
        } else {
            out += c;
        }
    }
    return false;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHexNumber(std::string_view s, std::size_t maxDigits, std::uint32_t& out)
{
    if (s.empty() || s.size() > maxDigits)
        return false;
    out = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        out = out * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

bool parseHexBytes(std::string_view s, std::vector<std::uint8_t>& out)
{
    out.clear();
    s = trim(s);
    if (s.empty())
        return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = s.find(',', start);
        const std::string_view item =
            trim(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
        std::uint32_t byte = 0;
        if (item.size() != 2 || !parseHexNumber(item, 2, byte))
            return false;
        out.push_back(static_cast<std::uint8_t>(byte));
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

// Empty when the line is a value, else what is wrong with it.
std::string parseValueLine(std::string_view line, Value& value)
{
    std::size_t pos = 0;
    if (line.front() == '@') {
        value.name.clear();
        pos = 1;
    } else if (line.front() != '"') {
        return "linha que não é chave, valor nem comentário";
    } else if (!parseQuoted(line, pos, value.name)) {
        return "nome de valor sem as aspas finais ou com um escape inválido";
    }
    std::string_view rest = trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return "falta o sinal '=' depois do nome do valor";
    rest = trim(rest.substr(1));

    if (!rest.empty() && rest.front() == '"') {
        std::size_t p = 0;
        std::string text;
        if (!parseQuoted(rest, p, text))
            return "texto sem as aspas finais ou com um escape inválido";
        if (!trim(rest.substr(p)).empty())
            return "sobra algo depois do texto entre aspas";
        value.type = kRegSz;
        value.data.assign(text.begin(), text.end());
        return {};
    }
    if (rest.starts_with("dword:")) {
        std::uint32_t n = 0;
        if (!parseHexNumber(trim(rest.substr(6)), 8, n))
            return "dword que não é um número hexadecimal de até 8 dígitos";
        value.type = kRegDWord;
        value.data = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                      static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        return {};
    }
    if (rest.starts_with("hex:")) {
        value.type = kRegBinary;
        if (!parseHexBytes(rest.substr(4), value.data))
            return "dados hex que não são bytes de dois dígitos separados por vírgulas";
        return {};
    }
    if (rest.starts_with("hex(")) {
        const std::size_t close = rest.find("):");
        if (close == std::string_view::npos || !parseHexNumber(rest.substr(4, close - 4), 8, value.type))
            return "tipo hex(N) mal formado";
        if (!parseHexBytes(rest.substr(close + 2), value.data))
            return "dados hex que não são bytes de dois dígitos separados por vírgulas";
        // A string written in hex carries its terminating NUL.
        if (value.type == kRegSz) {
            while (!value.data.empty() && value.data.back() == 0)
                value.data.pop_back();
        }
        return {};
    }
    // Includes "-", the deletion marker of import files, which a store never holds.
    return "dado de valor desconhecido (esperado \"texto\", dword:, hex: ou hex(N):)";
}

// A line break in a name could not be written back as one line of the file.
bool validName(std::string_view name)
{
    return name.find_first_of("\r\n") == std::string_view::npos;
}

bool validKeyPath(std::string_view path)
{
    if (path.empty() || path.front() == '-' || !validName(path))
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t sep = path.find('\\', start);
        if (sep == start)
            return false; // empty component
        if (sep == std::string_view::npos)
            return true;
        start = sep + 1;
        if (start == path.size())
            return false;
    }
}

// Reads the text of a store. On failure `problem` says where and why; nothing of `doc` is
// then to be used.
bool parseDocument(const std::string& text, Document& doc, LoadProblem* problem = nullptr)
{
    const auto fail = [problem](std::size_t line, std::string reason) {
        if (problem)
            *problem = LoadProblem{line, std::move(reason)};
        return false;
    };
    doc.sections.clear();
    if (text.empty())
        return fail(0, "o arquivo está vazio");
    // Each logical line with the number of the file line it starts on.
    std::vector<std::pair<std::string, std::size_t>> lines;
    {
        std::size_t start = 0;
        std::size_t number = 0;
        std::size_t pendingStart = 0;
        std::string pending;
        bool continuing = false;
        while (start <= text.size()) {
            ++number;
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string_view raw = std::string_view(text).substr(start, end - start);
            if (!raw.empty() && raw.back() == '\r')
                raw.remove_suffix(1);
            if (raw.find('\0') != std::string_view::npos)
                return fail(number, "byte nulo: não é um arquivo de texto (ou está em UTF-16)");
            if (!continuing)
                pendingStart = number;
            // Long hex data is continued on the next line after a trailing backslash.
            const std::string_view t = trim(raw);
            const bool continues = !t.empty() && t.back() == '\\' && t.front() != '[' && t.front() != ';';
            pending += t;
            if (continues) {
                pending.pop_back();
            } else {
                lines.emplace_back(std::move(pending), pendingStart);
                pending.clear();
            }
            continuing = continues;
            start = end + 1;
        }
        if (continuing)
            return fail(pendingStart,
                        "o arquivo termina no meio de uma linha continuada com '\\' (truncado?)");
    }
    if (trim(lines.front().first) != kHeader)
        return fail(1, "falta o cabeçalho REGEDIT4 na primeira linha");

    Section* current = nullptr;
    Comments comments;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i].first);
        const std::size_t number = lines[i].second;
        if (line.empty())
            continue;
        if (line.front() == ';') {
            comments.emplace_back(line);
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail(number, "nome de chave sem o ']' final");
            const std::string path(line.substr(1, line.size() - 2));
            if (!validKeyPath(path))
                return fail(number, "nome de chave inválido");
            current = &ensureSection(doc, path);
            current->comments.insert(current->comments.end(), comments.begin(), comments.end());
            comments.clear();
            continue;
        }
        if (!current)
            return fail(number, "valor antes da primeira chave");
        Value value;
        if (std::string reason = parseValueLine(line, value); !reason.empty())
            return fail(number, std::move(reason));
        value.comments = std::move(comments);
        comments.clear();
        auto it = std::find_if(current->values.begin(), current->values.end(),
                               [&](const Value& v) { return sameName(v.name, value.name); });
        if (it != current->values.end()) {
            // The later line wins, as on import; the comments of both stay.
            value.comments.insert(value.comments.begin(), it->comments.begin(), it->comments.end());
            *it = std::move(value);
        } else {
            current->values.push_back(std::move(value));
        }
    }
    doc.trailing = std::move(comments);
    return true;
}

// ---- writing ------------------------------------------------------------------------------

std::string quoted(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

void appendHex(std::string& out, std::string_view prefix, const std::vector<std::uint8_t>& data)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::size_t lineStart = out.size();
    out += prefix;
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
        if (i + 1 == data.size())
            break;
        out += ',';
        // Wrapped at regedit's width so that the file stays readable.
        if (out.size() - lineStart > 76) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

std::string serialise(const Document& doc)
{
    std::string out(kHeader);
    out += "\n\n";
    char buf[32];
    const auto writeComments = [&out](const Comments& comments) {
        for (const auto& c : comments) {
            out += c;
            out += '\n';
        }
    };
    for (const auto& s : doc.sections) {
        writeComments(s.comments);
        out += '[';
        out += s.path;
        out += "]\n";
        for (const auto& v : s.values) {
            writeComments(v.comments);
            const std::string name = v.name.empty() ? std::string("@") : quoted(v.name);
            out += name;
            out += '=';
            const bool lineBreak = std::find_if(v.data.begin(), v.data.end(), [](std::uint8_t b) {
                                       return b == '\n' || b == '\r' || b == 0;
                                   }) != v.data.end();
            if (v.type == kRegSz && !lineBreak) {
                out += quoted(std::string(v.data.begin(), v.data.end()));
            } else if (v.type == kRegSz) {
                // A line break cannot stand inside a quoted text of this format.
                std::vector<std::uint8_t> withNul = v.data;
                withNul.push_back(0);
                appendHex(out, "hex(1):", withNul);
            } else if (v.type == kRegDWord && v.data.size() == 4) {
                const std::uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                        (static_cast<std::uint32_t>(v.data[3]) << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x", n);
                out += buf;
            } else if (v.type == kRegBinary) {
                appendHex(out, "hex:", v.data);
            } else {
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                appendHex(out, buf, v.data);
            }
            out += '\n';
        }
        out += '\n';
    }
    writeComments(doc.trailing);
    return out;
}

// ---- the file -----------------------------------------------------------------------------

// The store's real location: an administrator may have made the path a symbolic link, and
// replacing the link itself would leave the target behind with the old content.
std::string resolvedPath(const std::string& file)
{
    char buf[PATH_MAX];
    if (::realpath(file.c_str(), buf))
        return buf;
    return file;
}

std::string parentFolder(const std::string& file)
{
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return file.substr(0, slash);
}

LoadResult load(const std::string& file, Document& doc, LoadProblem* problem = nullptr)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return LoadResult::Missing;
        if (problem)
            *problem = LoadProblem{0, std::string("não pode ser aberto: ") + std::strerror(errno)};
        return LoadResult::Unusable;
    }
    struct stat st
    {
    };
    std::string text;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok && problem)
        *problem = LoadProblem{0, "não é um arquivo comum"};
    char buf[8192];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            if (problem)
                *problem = LoadProblem{0, std::string("não pode ser lido: ") + std::strerror(errno)};
        }
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok || !parseDocument(text, doc, problem))
        return LoadResult::Unusable;
    return LoadResult::Ok;
}

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The whole file is replaced at once: written to a new file in the same folder, flushed to
// the disk, then renamed over the old one. Truncating and rewriting in place would lose every
// profile in the store if the machine stopped or the disk filled up between the two steps;
// with the rename, a reader sees either the old file or the new one, never a part.
bool store(const std::string& file, const Document& doc)
{
    const std::string text = serialise(doc);
    // Never write what could not be read again: that would lock every later reader out.
    Document check;
    if (!parseDocument(text, check))
        return false;
    std::string temp = file + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat old
    {
    };
    if (::stat(file.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may hand the file to another owner; the content matters more.
        }
    } else {
        ::fchmod(fd, 0644);
    }
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk too, or a crash could bring the old file back.
    const int dir = ::open(parentFolder(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Serialises read-modify-write cycles of the processes sharing the store (the manager and
// the administration tools), so that one does not undo the other's change. The folder is
// locked because the file itself is replaced by every write.
class FolderLock
{
public:
    explicit FolderLock(const std::string& file)
        : m_fd(::open(parentFolder(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

class FileKey final : public RegistryKey
{
public:
    FileKey(std::string file, std::string path) : m_file(std::move(file)), m_path(std::move(path)) {}

    std::optional<ValueType> valueType(const std::string& name) const override
    {
        const auto v = find(name);
        if (!v)
            return std::nullopt;
        switch (v->type) {
        case kRegSz:
            return ValueType::String;
        case kRegDWord:
            return v->data.size() == 4 ? ValueType::DWord : ValueType::Other;
        case kRegBinary:
            return ValueType::Binary;
        default:
            return ValueType::Other;
        }
    }

    std::optional<std::string> readString(const std::string& name) const override
    {
        const auto v = find(name);
        if (!v || v->type != kRegSz)
            return std::nullopt;
        return std::string(v->data.begin(), v->data.end());
    }

    std::optional<std::uint32_t> readDWord(const std::string& name) const override
    {
        const auto v = find(name);
        if (!v || v->type != kRegDWord || v->data.size() != 4)
            return std::nullopt;
        return v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
               (static_cast<std::uint32_t>(v->data[3]) << 24);
    }

    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& name) const override
    {
        const auto v = find(name);
        if (!v || v->type != kRegBinary)
            return std::nullopt;
        return v->data;
    }

    std::vector<std::string> valueNames() const override
    {
        std::vector<std::string> names;
        Document doc;
        if (load(m_file, doc) != LoadResult::Ok)
            return names;
        if (const Section* s = findSection(doc, m_path)) {
            for (const auto& v : s->values)
                names.push_back(v.name);
        }
        return names;
    }

    bool writeString(const std::string& name, const std::string& value) override
    {
        return put(name, kRegSz, std::vector<std::uint8_t>(value.begin(), value.end()));
    }

    bool writeDWord(const std::string& name, std::uint32_t n) override
    {
        return put(name, kRegDWord,
                   {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                    static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
    }

    bool writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) override
    {
        return put(name, kRegBinary, value);
    }

    bool deleteValue(const std::string& name) override
    {
        return modify([&](Section& s) {
            const auto it = std::find_if(s.values.begin(), s.values.end(),
                                         [&](const Value& v) { return sameName(v.name, name); });
            if (it == s.values.end())
                return false;
            s.values.erase(it);
            return true;
        });
    }

private:
    std::optional<Value> find(const std::string& name) const
    {
        Document doc;
        if (load(m_file, doc) != LoadResult::Ok)
            return std::nullopt;
        const Section* s = findSection(doc, m_path);
        const Value* v = s ? findValue(*s, name) : nullptr;
        return v ? std::optional<Value>(*v) : std::nullopt;
    }

    bool put(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data)
    {
        if (!validName(name))
            return false;
        return modify([&](Section& s) {
            auto it = std::find_if(s.values.begin(), s.values.end(),
                                   [&](const Value& v) { return sameName(v.name, name); });
            if (it == s.values.end()) {
                s.values.push_back(Value{name, type, std::move(data), {}});
            } else {
                it->type = type;
                it->data = std::move(data);
            }
            return true;
        });
    }

    // A store that vanished or cannot be read is never written: writing would replace every
    // other key in it with nothing.
    template <typename Change> bool modify(Change change)
    {
        FolderLock lock(m_file);
        Document doc;
        if (load(m_file, doc) != LoadResult::Ok)
            return false;
        if (!change(ensureSection(doc, m_path)))
            return false;
        return store(m_file, doc);
    }

    std::string m_file;
    std::string m_path;
};

} // namespace

std::string registryStoreProblem(const RegistryStore& storeInfo)
{
    if (storeInfo.file.empty())
        return {};
    Document doc;
    LoadProblem problem;
    if (load(resolvedPath(storeInfo.file), doc, &problem) != LoadResult::Unusable)
        return {};
    std::string text = "arquivo de registro " + storeInfo.file;
    if (problem.line > 0)
        text += ", linha " + std::to_string(problem.line);
    return text + ": " + problem.reason;
}

namespace detail {

std::string parseRegistryText(const std::string& text, std::string* roundTrip)
{
    Document doc;
    LoadProblem problem;
    if (!parseDocument(text, doc, &problem))
        return "linha " + std::to_string(problem.line) + ": " + problem.reason;
    if (roundTrip)
        *roundTrip = serialise(doc);
    return {};
}

} // namespace detail

RegistryStore defaultRegistryStore()
{
    const char* env = std::getenv("ZUL_REGISTRY");
    return RegistryStore{env && *env ? env : kDefaultStore};
}

std::unique_ptr<RegistryKey> openLocalMachineKey(const RegistryStore& storeInfo, const std::string& path,
                                                 bool create)
{
    if (storeInfo.file.empty() || (!path.empty() && !validKeyPath(path)))
        return nullptr;
    const std::string file = resolvedPath(storeInfo.file);
    const std::string full = path.empty() ? std::string(kRoot) : std::string(kRoot) + '\\' + path;

    Document doc;
    LoadResult loaded = load(file, doc);
    if (loaded == LoadResult::Ok && keyExists(doc, full))
        return std::make_unique<FileKey>(file, full);
    if (loaded == LoadResult::Unusable || !create)
        return nullptr;

    FolderLock lock(file);
    loaded = load(file, doc); // another process may have written meanwhile
    if (loaded == LoadResult::Unusable)
        return nullptr;
    if (loaded == LoadResult::Missing)
        doc = Document{};
    if (!keyExists(doc, full) || loaded == LoadResult::Missing) {
        ensureSection(doc, full);
        if (!store(file, doc))
            return nullptr;
    }
    return std::make_unique<FileKey>(file, full);
}

} // namespace zul::platform
