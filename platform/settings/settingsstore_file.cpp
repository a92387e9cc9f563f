// File backend of the settings store: the whole tree in one UTF-8 text file.
//
// Format: values of the root first, then for every key a header line "[name\name]" with its
// path, followed by its values as "name=value" lines, values in the order they were created.
// In names and values "%" and every control character are written as "%HH"; so are "\" in
// key names, "=" and a leading "[", "#" or ";" in value names, and a trailing blank of a
// value (so editors that strip blanks do no harm). Lines starting with "#" or ";" are
// comments.
//
// Reading is lenient: a line that is not a header, a value or a comment, and a header with an
// invalid path, is skipped together with the values under it; everything else is kept. Before
// such a file is first rewritten, the original is kept beside it as "<file>.unreadable", so
// nothing of it is lost. A file that cannot be read at all (other than missing) makes every
// write fail rather than replace it.
//
// Every change takes an exclusive lock on "<file>.lock", reads the file afresh and replaces the
// file whole, flushed to disk: a crash leaves either the old or the new file, never a
// half-written one.
#include "fileutil.h"
#include "settingskeys.h"
#include "settingsstore.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using namespace settings_detail;
namespace fu = fileutil;

// Files larger than this are not a store this program wrote; they are treated as unreadable.
constexpr size_t kMaxFileSize = 16 * 1024 * 1024;

struct Key {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<Key> subkeys;  // sorted by CompareNoCase

    Key* Find(const std::string& sub)
    {
        for (auto& k : subkeys)
            if (EqualNoCase(k.name, sub))
                return &k;
        return nullptr;
    }
    Key& FindOrAdd(const std::string& sub)
    {
        auto it = std::lower_bound(subkeys.begin(), subkeys.end(), sub,
                                   [](const Key& k, const std::string& n) { return CompareNoCase(k.name, n) < 0; });
        if (it != subkeys.end() && EqualNoCase(it->name, sub))
            return *it;
        return *subkeys.insert(it, Key{sub, {}, {}});
    }
    std::pair<std::string, std::string>* FindValue(const std::string& valueName)
    {
        for (auto& v : values)
            if (EqualNoCase(v.first, valueName))
                return &v;
        return nullptr;
    }
    void SetValue(const std::string& valueName, const std::string& data)
    {
        if (auto* v = FindValue(valueName))
            v->second = data;
        else
            values.emplace_back(valueName, data);
    }
};

Key* Walk(Key& root, const std::vector<std::string>& names)
{
    Key* key = &root;
    for (const auto& n : names)
        if (!(key = key->Find(n)))
            return nullptr;
    return key;
}

Key& WalkCreate(Key& root, const std::vector<std::string>& names)
{
    Key* key = &root;
    for (const auto& n : names)
        key = &key->FindOrAdd(n);
    return *key;
}

void PutEscaped(std::string& out, unsigned char c)
{
    out += '%';
    fu::AppendHexByte(out, c, fu::HexCase::Upper);
}

enum class Field { KeyName, ValueName, Value };

std::string Encode(const std::string& text, Field field)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        bool escape = c == '%' || c < 0x20 || c == 0x7F;
        if (field == Field::KeyName)
            escape = escape || c == '\\';
        if (field == Field::ValueName)
            escape = escape || c == '=' || (i == 0 && (c == '[' || c == '#' || c == ';'));
        if (field == Field::Value)
            escape = escape || (c == ' ' && i + 1 == text.size());
        if (escape)
            PutEscaped(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

// "%HH" becomes its byte; a "%" not followed by two hexadecimal digits stays as it is.
std::string Decode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() ? fu::HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? fu::HexValue(text[i + 2]) : -1;
        if (text[i] == '%' && high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void SerializeKey(std::string& out, const Key& key, const std::string& path)
{
    if (!path.empty())
        out += '[' + path + "]\n";
    for (const auto& [name, value] : key.values)
        out += Encode(name, Field::ValueName) + '=' + Encode(value, Field::Value) + '\n';
    for (const auto& sub : key.subkeys) {
        const std::string subPath = (path.empty() ? "" : path + '\\') + Encode(sub.name, Field::KeyName);
        SerializeKey(out, sub, subPath);
    }
}

// Builds the tree from the file's text; returns the number of lines that had to be skipped.
size_t Parse(const std::string& text, Key& root)
{
    size_t skipped = 0;
    Key* current = &root;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.size() < 2 || line.back() != ']') {
                ++skipped;
                continue;
            }
            const std::string_view inner = line.substr(1, line.size() - 2);
            std::vector<std::string> names;
            bool valid = true;
            if (!inner.empty()) {
                size_t start = 0;
                while (true) {
                    const size_t sep = inner.find('\\', start);
                    std::string name = Decode(inner.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
                    if (name.empty() || HasNul(name) || Utf8ToUtf16(name).size() > kMaxKeyNameLength)
                        valid = false;
                    names.push_back(std::move(name));
                    if (sep == std::string_view::npos)
                        break;
                    start = sep + 1;
                }
            }
            if (!valid) {
                ++skipped;
                continue;
            }
            current = &WalkCreate(root, names);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || !current) {
            ++skipped;
            continue;
        }
        std::string name = Decode(line.substr(0, eq));
        std::string value = Decode(line.substr(eq + 1));
        if (HasNul(name) || HasNul(value)) {
            ++skipped;
            continue;
        }
        current->SetValue(name, value);
    }
    return skipped;
}

std::string ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0])
        return std::string(home) + "/.config";
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return std::string(pw->pw_dir) + "/.config";
    return "/tmp";
}

std::string ResolveFile(const SettingsLocation& location)
{
    if (!location.file.empty() && location.file[0] == '/')
        return location.file;
    return ConfigHome() + '/' + location.file;
}

std::string DirectoryOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

bool MakeDirectories(const std::string& dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    const std::string parent = DirectoryOf(dir);
    if (parent != dir && !MakeDirectories(parent))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

class FileSettingsStore final : public SettingsStore {
public:
    explicit FileSettingsStore(std::string file) : file_(std::move(file)) {}

    bool CreateKey(const std::string& path) override
    {
        const auto names = Split(path);
        if (!names)
            return false;
        return Modify([&](Key& root) {
            if (Walk(root, *names))
                return Change::None;
            WalkCreate(root, *names);
            return Change::Made;
        });
    }

    bool KeyExists(const std::string& path) override
    {
        Key root;
        const auto names = Split(path);
        return names && Load(root) && Walk(root, *names);
    }

    std::vector<std::string> SubkeyNames(const std::string& path) override
    {
        std::vector<std::string> result;
        Key root;
        const auto names = Split(path);
        if (names && Load(root))
            if (const Key* key = Walk(root, *names))
                for (const auto& sub : key->subkeys)
                    result.push_back(sub.name);
        return result;
    }

    std::optional<std::string> ReadString(const std::string& path, const std::string& name) override
    {
        Key root;
        const auto names = Split(path);
        if (!names || !Load(root))
            return std::nullopt;
        if (Key* key = Walk(root, *names))
            if (const auto* v = key->FindValue(name))
                return v->second;
        return std::nullopt;
    }

    bool WriteString(const std::string& path, const std::string& name, const std::string& value) override
    {
        const auto names = Split(path);
        if (!names)
            return false;
        if (HasNul(name) || HasNul(value))
            return Fail("write value: the name or the text holds a NUL character", 0);
        return Modify([&](Key& root) {
            Key& key = WalkCreate(root, *names);
            if (const auto* v = key.FindValue(name); v && v->second == value)
                return Change::None;
            key.SetValue(name, value);
            return Change::Made;
        });
    }

    bool DeleteValue(const std::string& path, const std::string& name) override
    {
        const auto names = Split(path);
        if (!names)
            return false;
        return Modify([&](Key& root) {
            Key* key = Walk(root, *names);
            if (!key)
                return Change::None;
            const auto before = key->values.size();
            std::erase_if(key->values, [&](const auto& v) { return EqualNoCase(v.first, name); });
            return key->values.size() == before ? Change::None : Change::Made;
        });
    }

    bool DeleteKey(const std::string& path) override
    {
        const auto names = Split(path);
        if (!names)
            return false;
        if (names->empty())
            return Fail("delete key: the root cannot be deleted", 0);
        return Modify([&](Key& root) {
            std::vector<std::string> parentNames(names->begin(), names->end() - 1);
            Key* parent = Walk(root, parentNames);
            if (!parent)
                return Change::None;
            const auto before = parent->subkeys.size();
            std::erase_if(parent->subkeys, [&](const Key& k) { return EqualNoCase(k.name, names->back()); });
            return parent->subkeys.size() == before ? Change::None : Change::Made;
        });
    }

    std::string LastError() const override { return lastError_; }

private:
    enum class Change { None, Made };

    // The one place every failure passes: records what failed and returns false.
    bool Fail(const std::string& what, int err)
    {
        return Fail(fu::FileError{what, err});
    }
    bool Fail(const fu::FileError& error)
    {
        lastError_ = error.Text();
        return false;
    }

    std::optional<std::vector<std::string>> Split(const std::string& path)
    {
        auto names = SplitKeyPath(path);
        if (!names)
            Fail("invalid key path", 0);
        return names;
    }

    // Reads the tree. A missing file is an empty tree. Sets unreadable_ when lines had to be
    // skipped or the file is too large to be a store.
    bool Load(Key& root)
    {
        unreadable_ = false;
        std::string text;
        fu::FileError error;
        switch (fu::ReadSmallFile(file_, kMaxFileSize, text, error)) {
        case fu::ReadResult::Read:
            unreadable_ = Parse(text, root) > 0;
            return true;
        case fu::ReadResult::Missing:
            return true;
        case fu::ReadResult::NotRegular:
            return Fail("open " + file_ + ": not a regular file", 0);
        case fu::ReadResult::TooLarge:
            unreadable_ = true;
            return true;
        case fu::ReadResult::Failed:
            break;
        }
        return Fail(error);
    }

    bool Modify(const std::function<Change(Key&)>& change)
    {
        const std::string dir = DirectoryOf(file_);
        if (!MakeDirectories(dir))
            return Fail("create folder " + dir, errno);
        const fu::FileLock lock(file_ + ".lock", 0600);
        if (!lock.Locked())
            return Fail(lock.Error());
        Key root;
        if (!Load(root))
            return false;
        if (change(root) == Change::None)
            return true;
        std::string text = "# Eemint settings: one [key] section per key, then name=value lines\n";
        SerializeKey(text, root, "");
        fu::ReplaceOptions options;
        options.mode = 0600;
        options.durable = true;
        if (unreadable_)  // the original of a file that could not be fully read is kept
            options.keepOldAs = file_ + ".unreadable";
        fu::FileError error;
        return fu::ReplaceFile(file_, text, options, error) || Fail(error);
    }

    std::string file_;
    std::string lastError_;
    bool unreadable_ = false;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenSettingsStore(const SettingsLocation& location)
{
    return std::make_unique<FileSettingsStore>(ResolveFile(location));
}

bool DeleteSettingsStore(const SettingsLocation& location)
{
    const std::string file = ResolveFile(location);
    ::unlink((file + ".lock").c_str());
    return ::unlink(file.c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform
