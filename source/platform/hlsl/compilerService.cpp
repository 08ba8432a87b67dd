// Sections: identity of the compiler | include answers | the service
#include "platform/hlsl/compilerService.h"

#include <link.h>
#include <physfs.h>
#include <shaderc/shaderc.h>
#include <spirv_cross/spirv_cross_c.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "platform/programFiles.h"
#include "system/log.h"

namespace Hlsl {
namespace {

// ---------------------------------------------------------------------------------------------------
// Identity of the compiler

// Bumped when the bytes of a cache entry would change for the same build identity.
constexpr char kCacheRevision[] = "vantrisk hlsl cache 3";

int FindBuildId(dl_phdr_info* info, size_t, void* data) {
    auto* id = static_cast<std::string*>(data);
    // The first object is the program itself.
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE) continue;
        const char* at = reinterpret_cast<const char*>(info->dlpi_addr + header.p_vaddr);
        const char* end = at + header.p_memsz;
        while (at + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
            const char* name = at + sizeof(ElfW(Nhdr));
            const char* desc = name + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0 &&
                desc + note->n_descsz <= end) {
                id->assign(desc, note->n_descsz);
                return 1;
            }
            at = desc + ((note->n_descsz + 3) & ~3u);
        }
    }
    return 1;
}

// Which compiler produced a result: the libraries' versions and the build of this program (the
// translation to GLSL is ours and changes with it). A program without a build id is told by its
// file's size and time instead.
const std::string& CompilerIdentity() {
    static const std::string identity = [] {
        std::string id;
        dl_iterate_phdr(FindBuildId, &id);
        if (id.empty()) {
            struct stat info {};
            if (stat("/proc/self/exe", &info) == 0)
                id = std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                     std::to_string(info.st_mtim.tv_nsec);
        }
        unsigned major = 0, minor = 0, patch = 0;
        spvc_get_version(&major, &minor, &patch);
        unsigned spirv = 0, revision = 0;
        shaderc_get_spv_version(&spirv, &revision);
        return std::string(kCacheRevision) + "|spirv-cross " + std::to_string(major) + "." +
               std::to_string(minor) + "." + std::to_string(patch) + "|spv " + std::to_string(spirv) + "." +
               std::to_string(revision) + "|build " + id;
    }();
    return identity;
}

// The file name is part of the key because error texts name it.
// The loop budget is part of the code, so a change of it compiles afresh.
ContentHash::Digest KeyOf(const std::string& source, const std::string& name, const std::string& entryPoint,
                          const std::string& target, uint32_t loopBudget) {
    ContentHash hash;
    hash.UpdateField(CompilerIdentity());
    hash.UpdateField("loop budget " + std::to_string(loopBudget));
    hash.UpdateField(name);
    hash.UpdateField(target);
    hash.UpdateField(entryPoint);
    hash.UpdateField(source);
    return hash.Finish();
}

// ---------------------------------------------------------------------------------------------------
// Include answers

// The resolver as one compile sees it: each (name, includer) is asked once, whether to check a kept
// result or to compile, and the answers are recorded in the order they were first needed.
class IncludeAnswers {
public:
    explicit IncludeAnswers(const IncludeResolver& resolve) : m_resolve(resolve) {}

    bool Get(const std::string& requested, std::string& includer, std::string& contents) {
        const std::string key = requested + '\n' + includer;
        auto answer = m_answers.find(key);
        if (answer == m_answers.end()) {
            std::string read;
            std::string where = includer;
            std::optional<std::string> found;
            if (m_resolve && m_resolve(requested, where, read)) found = std::move(read);
            m_foundAs[key] = where;
            answer = m_answers.emplace(key, std::move(found)).first;
        }
        if (m_recorded.insert(key).second) {
            IncludeRecord record{requested, includer, answer->second.has_value(), {}};
            // Where the file was found is part of what it reads as: its own includes are looked for
            // beside it, so a header that moves is read afresh.
            if (answer->second) record.contents = ContentHash::Of(m_foundAs[key] + '\n' + *answer->second);
            m_records.push_back(record);
        }
        if (!answer->second) return false;
        contents = *answer->second;
        includer = m_foundAs[key];
        return true;
    }

    // Whether every include that a kept result read still reads the same. Checked in the order the
    // compile read them, so the first difference stops the check where the compile would have gone
    // another way.
    bool StillReads(const std::vector<IncludeRecord>& includes) {
        for (const IncludeRecord& include : includes) {
            std::string contents;
            std::string where = include.includer;
            const bool found = Get(include.requested, where, contents);
            if (found != include.found ||
                (found && ContentHash::Of(where + '\n' + contents) != include.contents))
                return false;
        }
        return true;
    }

    /// Records of the answers given during one compile (those asked before it are dropped first).
    void StartRecording() {
        m_records.clear();
        m_recorded.clear();
    }
    const std::vector<IncludeRecord>& Records() const { return m_records; }
    IncludeResolver AsResolver() {
        return [this](const std::string& requested, std::string& includer, std::string& contents) {
            return Get(requested, includer, contents);
        };
    }

private:
    const IncludeResolver& m_resolve;
    std::map<std::string, std::optional<std::string>> m_answers;
    std::map<std::string, std::string> m_foundAs;
    std::vector<IncludeRecord> m_records;
    std::set<std::string> m_recorded;
};

// Errors of a source that is not HLSL at all can run to thousands of lines; the log gets the start.
std::string Bounded(std::string errors) {
    constexpr size_t kLines = 40, kBytes = 8192;
    size_t at = 0, lines = 0;
    while (at < errors.size() && lines < kLines && at < kBytes) {
        const size_t next = errors.find('\n', at);
        at = next == std::string::npos ? errors.size() : next + 1;
        ++lines;
    }
    if (at >= errors.size()) return errors;
    size_t rest = 0;
    for (size_t i = at; i < errors.size(); ++i) rest += errors[i] == '\n';
    errors.resize(std::min(at, kBytes));
    if (!errors.empty() && errors.back() != '\n') errors += '\n';
    return errors + "(" + std::to_string(rest + 1) + " more lines of errors)";
}

constexpr size_t kMaxKept = 512;

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The service

CompilerService& CompilerService::Get() {
    static CompilerService service;
    return service;
}

CompilerService::CompilerService() : m_executable(DefaultExecutable()) {}

std::string CompilerService::DefaultExecutable() {
    return Platform::FindCompilerProcess(Platform::ProgramFolder());
}

std::string CompilerService::CacheFolder() {
    // An installed program's tree is not the user's to write into, nor is whatever folder it was
    // started in: its cache lives in the user's cache folder, chosen once per run.
    static const bool installed = Platform::IsInstalledTree(Platform::ProgramFolder());
    if (installed) {
        static const std::string userFolder = [] {
            const std::string folder =
                Platform::UserCacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
            if (folder.empty()) {
                VLOG("Hlsl::Compile",
                     "Neither $XDG_CACHE_HOME nor ~/.cache can be written; shaders compile without a cache");
                return std::string();
            }
            return folder + "/ShaderCache";
        }();
        return userFolder;
    }
    if (!PHYSFS_isInit()) return "";
    const char* writeDir = PHYSFS_getWriteDir();
    if (!writeDir || !*writeDir) return "";
    std::string folder = writeDir;
    if (folder.back() != '/') folder += '/';
    return folder + "ShaderCache";
}

void CompilerService::SetLimits(const CompileLimits& limits) {
    std::lock_guard lock(m_mutex);
    // Failures kept under other limits may not hold under these.
    if (limits.seconds != m_limits.seconds || limits.memoryBytes != m_limits.memoryBytes) {
        m_kept.clear();
        m_keptCount = 0;
    }
    m_limits = limits;
}

CompileLimits CompilerService::GetLimits() const {
    std::lock_guard lock(m_mutex);
    return m_limits;
}

void CompilerService::SetExecutable(const std::string& executable) {
    std::lock_guard lock(m_mutex);
    if (executable == m_executable) return;
    m_executable = executable;
    m_process.reset();
}

std::string CompilerService::GetExecutable() const {
    std::lock_guard lock(m_mutex);
    return m_executable;
}

CompileCounters CompilerService::Counters() const {
    std::lock_guard lock(m_mutex);
    CompileCounters counters = m_counters;
    return counters;
}

void CompilerService::ForgetResults() {
    std::lock_guard lock(m_mutex);
    m_kept.clear();
    m_keptCount = 0;
}

CompileResult CompilerService::Compile(const std::string& source, const std::string& name,
                                       const IncludeResolver& resolve, const std::string& entryPoint,
                                       const std::string& target) {
    std::lock_guard lock(m_mutex);
    const ContentHash::Digest key = KeyOf(source, name, entryPoint, target, m_limits.loopBudget);
    IncludeAnswers answers(resolve);

    auto kept = m_kept.find(key);
    if (kept != m_kept.end()) {
        for (const Kept& entry : kept->second) {
            if (!answers.StillReads(entry.includes)) continue;
            ++m_counters.memoryHits;
            return entry.result;
        }
    }

    const ShaderCache cache(CacheFolder());
    {
        std::vector<IncludeRecord> includes;
        auto code = std::make_shared<ShaderCode>();
        if (cache.Load(key, includes, *code) && code->entryPoint == entryPoint &&
            answers.StillReads(includes)) {
            ++m_counters.cacheHits;
            CompileResult result;
            result.code = std::move(code);
            if (m_keptCount >= kMaxKept) m_kept.clear(), m_keptCount = 0;
            m_kept[key].push_back({std::move(includes), result});
            ++m_keptCount;
            return result;
        }
    }

    answers.StartRecording();
    const IncludeResolver recorded = answers.AsResolver();
    CompileResult result;
    bool compiled = false, keep = true;
    if (!m_executable.empty()) {
        if (!m_process) m_process = std::make_unique<CompilerProcess>(m_executable);
        const uint64_t startsBefore = m_process->Starts();
        CompilerProcess::Outcome outcome;
        result = m_process->Compile(source, name, recorded, entryPoint, target, m_limits, outcome);
        m_counters.processStarts += m_process->Starts() - startsBefore;
        if (outcome == CompilerProcess::Outcome::NotStarted) {
            VLOG("Hlsl::Compile", "The shader compiler '%s' cannot be started; shaders compile in the player",
                 m_executable.c_str());
            m_executable.clear();
            m_process.reset();
        } else {
            compiled = true;
            if (outcome != CompilerProcess::Outcome::Answered) ++m_counters.processFailures;
            // A compile the machine gave no time to is tried again next time it is asked for.
            keep = outcome != CompilerProcess::Outcome::Transient;
        }
    }
    if (!compiled) result = CompileInProcess(source, name, recorded, entryPoint, target, m_limits.loopBudget);
    ++m_counters.compiles;
    if (!result) result.errors = Bounded(std::move(result.errors));

    if (result) cache.Store(key, answers.Records(), *result.code);
    if (!keep) {
        result.transient = true;
        return result;
    }
    if (m_keptCount >= kMaxKept) m_kept.clear(), m_keptCount = 0;
    m_kept[key].push_back({answers.Records(), result});
    ++m_keptCount;
    return result;
}

}  // namespace Hlsl
