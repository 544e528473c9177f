// Fuzz target: the bytes of option.ini through the INI reader, both option loaders (the
// start's, which takes what it can, and a reload's, which refuses a doubtful file), the
// checks of the [TLS], [Security], [ACME] and [Hooks] values, and a save of what was
// read. Besides crashes and sanitizer reports it stops on a broken promise:
//  - the INI text comes back byte for byte when nothing was changed;
//  - a file the checked loader takes gives the same values as the start's loader;
//  - values that pass a section's check are usable as that check promises (hook lines
//    split into an absolute program, URLs https, domains host names);
//  - values saved back read as the same values, the keys not saved unchanged.
//
// The file lives in a directory under /dev/shm (the loaders read a path), written anew
// for every input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/HookCommand.h"
#include "config/HookKeys.h"
#include "config/IniDocument.h"
#include "config/OptionChecks.h"
#include "config/Options.h"

namespace {

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

class ProgramDir {
public:
    ProgramDir() {
        char pattern[] = "/dev/shm/optionini-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) Broken("no directory under /dev/shm");
        m_dir = std::string(pattern) + "/";
    }
    const std::string& Path() const { return m_dir; }
    void Write(std::string_view bytes) const {
        std::FILE* file = std::fopen((m_dir + "option.ini").c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            std::fclose(file) != 0)
            Broken("cannot write option.ini");
    }
    void Remove() const {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

private:
    std::string m_dir;
};

const ProgramDir& Shared() {
    static const ProgramDir* const dir = [] {
        auto* made = new ProgramDir;
        std::atexit([] { Shared().Remove(); });
        return made;
    }();
    return *dir;
}

// The first row whose value differs between `a` and `b`, or nullptr.
const OptionRow* FirstDifference(const OptionValues& a, const OptionValues& b) {
    for (const OptionRow& row : OptionRows())
        if (!SameOptionValue(a, b, row.member)) return &row;
    return nullptr;
}

void CheckSameValues(const OptionValues& a, const OptionValues& b, const char* what) {
    if (const OptionRow* row = FirstDifference(a, b))
        Broken(std::string(what) + ": [" + std::string(row->section) + "] " +
               std::string(row->readName) + " is \"" + OptionValueText(a, row->member) +
               "\", then \"" + OptionValueText(b, row->member) + "\"");
}

void CheckIniRoundTrip(std::string_view text) {
    CIniDocument doc;
    doc.Parse(text);
    if (doc.Serialize() != text) Broken("an unchanged INI text came back changed");
}

void CheckHooksUsable(const OptionValues& values) {
    if (!HooksOptionsProblem(values).empty()) return;
    for (const HookKeyRow& row : HookKeyRows()) {
        std::vector<std::string> argv;
        std::string error;
        if (!SplitHookCommand(values.*row.program, argv, error))
            Broken("a hook line that passed the check does not split: " + error);
        if (!argv.empty() && argv.front().front() != '/')
            Broken("a hook program that passed the check is not absolute");
        if (!(values.*row.url).empty() && !IsHookUrl(values.*row.url))
            Broken("a hook URL that passed the check is not https");
    }
    if (values.hookConcurrency < 1 || values.hookConcurrency > kMaxHookConcurrency ||
        values.hookTimeout < 1 || values.hookTimeout > kMaxHookTimeout ||
        values.hookQueueSize < 1 || values.hookQueueSize > kMaxHookQueueSize)
        Broken("a hook bound outside its range passed the check");
}

void CheckAcmeUsable(const OptionValues& values) {
    if (!AcmeOptionsProblem(values).empty()) return;
    for (const std::string& name : SplitDomainList(values.acmeDomains))
        if (!IsHostName(name)) Broken("an ACME domain that passed the check is no host name");
    if (values.acmeHttpPort < 1 || values.acmeHttpPort > 65535)
        Broken("an ACME port outside 1..65535 passed the check");
}

void CheckOtherSections(const OptionValues& values) {
    (void)TlsOptionsProblem(values);
    if (SecurityOptionsProblem(values).empty() &&
        (values.banAttempts < 0 || values.banTime < 0 || values.maxHashMiB < 0))
        Broken("a negative security limit passed the check");
    (void)IsUsablePassiveIp(values.passiveIp);
}

// The keys the file set to something other than their defaults, and the port (so a key
// is always written, into the file's own [Server] or a new one). Each key saved scans the
// file, and saving all 78 into a short file made a save cost twenty loads; the keys left
// out are checked too, as the values read back must not have moved.
std::vector<OptionMember> KeysToSave(const OptionValues& values) {
    std::vector<OptionMember> members{&OptionValues::port};
    for (const OptionRow& row : OptionRows())
        if (!SameOptionValue(values, DefaultOptions(), row.member) &&
            row.member != OptionMember(&OptionValues::port))
            members.push_back(row.member);
    return members;
}

}  // namespace

// Every option looked up scans the whole file: past this size an input only repeats
// lines and costs time that shorter inputs spend better.
constexpr std::size_t kMaxInput = 2048;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ProgramDir& dir = Shared();
    CheckIniRoundTrip(text);
    dir.Write(text);

    COptions options(dir.Path());
    const OptionValues loaded = options.Load();
    OptionValues checked;
    std::string error;
    if (options.LoadChecked(checked, error)) CheckSameValues(loaded, checked, "the loaders differ");

    CheckHooksUsable(loaded);
    CheckAcmeUsable(loaded);
    CheckOtherSections(loaded);

    // Saving refuses a value with a line break or NUL: then there is nothing to compare.
    if (!options.SaveKeys(loaded, KeysToSave(loaded))) return 0;
    CheckSameValues(loaded, options.Load(), "saved values read back otherwise");
    return 0;
}
