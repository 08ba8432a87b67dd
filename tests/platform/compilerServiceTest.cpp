// The compiler process and the service in front of it: shaders that crash, hang or flood the
// compiler fail with a message naming the file within their limits, and the next compile works.
#include "platform/hlsl/compilerService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "support/logCapture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Hlsl::CompileLimits;
using Hlsl::CompilerService;

const std::string kGood = "float4 PS(float4 p : SV_Position) : SV_Target { return float4(1, 0, 0, 1); }\n";

// Includes from a table of names and texts; counts what it was asked.
struct TableResolver {
    std::map<std::string, std::string> files;
    int asked = 0;

    Hlsl::IncludeResolver Function() {
        return [this](const std::string& requested, const std::string&, std::string& contents) {
            ++asked;
            const auto file = files.find(requested);
            if (file == files.end()) return false;
            contents = file->second;
            return true;
        };
    }
};

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(rng());
    return bytes;
}

// Each test starts with the program's compiler process and limits, and nothing kept from before.
class CompilerServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CompilerService::DefaultExecutable().empty()) GTEST_SKIP() << "vantrisk-shaderc is not built";
        service.SetExecutable(CompilerService::DefaultExecutable());
        service.ForgetResults();
        saved = service.GetLimits();
    }
    void TearDown() override {
        service.SetLimits(saved);
        service.SetExecutable(CompilerService::DefaultExecutable());
        service.ForgetResults();
    }

    Hlsl::CompileResult CompilePs(const std::string& source, const std::string& entry = "PS",
                                  const std::string& name = "plasma.fx") {
        return service.Compile(source, name, resolver.Function(), entry, "ps_4_0");
    }

    CompilerService& service = CompilerService::Get();
    CompileLimits saved;
    TableResolver resolver;
};

// ---------------------------------------------------------------------------------------------------
// Sources the compiler cannot survive

struct Hostile {
    const char* what;
    std::string source;
    std::map<std::string, std::string> includes;
    CompileLimits limits;
    const char* message;
};

TEST_F(CompilerServiceTest, HostileSourcesFailWithinTheirLimitAndTheNextCompileWorks) {
    const std::string selfInclude =
        "#include \"quad.fxh\"\n#include \"quad.fxh\"\nfloat4 Quad() { return 1; }\n";
    const Hostile cases[] = {
        {"unnamed parameter",
         "float4 PS_Plasma(int) : SV_Target { return float4(1, 0, 0, 1); }\n",
         {},
         {5, 1u << 30},
         "plasma.fx: error: compiling 'PS_Plasma' crashed the compiler"},
        {"a call the compiler falls over, named at its line",
         "\nfloat4 PS() : SV_Target { return GetRenderTargetSampleCount(); }\n",
         {},
         {5, 1u << 30},
         "plasma.fx:2: error: 'GetRenderTargetSampleCount' (a query of the render target's samples) is not "
         "supported"},
        {"huge constant, memory",
         "static const float a[100000000];\n" + kGood,
         {},
         {60, 256u << 20},
         "plasma.fx: error: compiling 'PS' ran out of memory"},
        {"huge constant, time",
         "static const float a[100000000];\n" + kGood,
         {},
         {1, uint64_t(3) << 30},
         "plasma.fx: error: compiling 'PS' took longer than 1 s"},
        {"header including itself twice",
         "#include \"quad.fxh\"\n" + kGood,
         {{"quad.fxh", selfInclude}},
         {5, 1u << 30},
         "includes nest deeper than 32 files at 'quad.fxh'"},
        {"10 MB of random bytes", RandomBytes(10'000'000, 7), {}, {5, 1u << 30}, "plasma.fx:"},
    };
    for (const Hostile& hostile : cases) {
        SCOPED_TRACE(hostile.what);
        service.SetLimits(hostile.limits);
        resolver.files = hostile.includes;
        const std::string entry = hostile.source.find("PS_Plasma") != std::string::npos ? "PS_Plasma" : "PS";
        const auto start = Clock::now();
        const auto result = CompilePs(hostile.source, entry);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_FALSE(result);
        EXPECT_NE(result.errors.find(hostile.message), std::string::npos) << result.errors.substr(0, 2000);
        // The failure is the source's, caught by its own limit: not the clock's fallback for a compiler
        // the machine starved, and not the time limit standing in for a check that should come first.
        // (How long it took on the clock says how busy the machine was, so it is only printed.)
        EXPECT_FALSE(result.transient) << result.errors.substr(0, 2000);
        if (std::string(hostile.message).find("took longer") == std::string::npos) {
            EXPECT_EQ(result.errors.find("took longer than"), std::string::npos)
                << result.errors.substr(0, 2000);
        }
        std::printf("[ timing   ] %s: %.2f s: %s\n", hostile.what, seconds,
                    result.errors.substr(0, result.errors.find('\n')).c_str());

        service.SetLimits(saved);
        const auto good = CompilePs(kGood);
        EXPECT_TRUE(good) << good.errors;
    }
}

TEST_F(CompilerServiceTest, AFailureIsKeptUntilTheSourcesChange) {
    const std::string crash = "float4 PS_Plasma(int) : SV_Target { return float4(1, 0, 0, 1); }\n";
    const auto first = CompilePs(crash, "PS_Plasma");
    ASSERT_FALSE(first);
    const Hlsl::CompileCounters before = service.Counters();
    const auto again = CompilePs(crash, "PS_Plasma");
    EXPECT_EQ(again.errors, first.errors);
    EXPECT_EQ(service.Counters().compiles, before.compiles) << "the same sources are not compiled twice";
    EXPECT_EQ(service.Counters().memoryHits, before.memoryHits + 1);

    // A change of the text, or of the file it is compiled for, compiles again.
    const auto edited = CompilePs(crash + "\n", "PS_Plasma");
    EXPECT_EQ(service.Counters().compiles, before.compiles + 1);
    EXPECT_NE(edited.errors.find("crashed the compiler"), std::string::npos);
    EXPECT_EQ(edited.errors.find("plasma.fx"), 0u);
    const auto other = CompilePs(crash, "PS_Plasma", "other.fx");
    EXPECT_EQ(other.errors.find("other.fx: error: compiling 'PS_Plasma' crashed the compiler"), 0u)
        << other.errors;
    EXPECT_EQ(service.Counters().processFailures, before.processFailures + 2);
}

TEST_F(CompilerServiceTest, TheTimeLimitCountsTheCompilersWorkNotTheClock) {
    // While the player takes its time over an include, the compiler waits without working.
    service.SetLimits({0.5, 1u << 30});
    resolver.files["slow.fxh"] = "float4 Colour() { return 1; }\n";
    const Hlsl::IncludeResolver slow = [&](const std::string& requested, std::string& includer,
                                           std::string& contents) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        return resolver.Function()(requested, includer, contents);
    };
    const auto result = service.Compile(
        "#include \"slow.fxh\"\nfloat4 PS(float4 p : SV_Position) : SV_Target { return Colour(); }\n",
        "plasma.fx", slow, "PS", "ps_4_0");
    EXPECT_TRUE(result) << result.errors;
}

// A compiler that dies after other compiles may have been worn down by them: the source is blamed
// only when a fresh process fails it too. A fresh process that fails is not asked twice.
TEST_F(CompilerServiceTest, ACrashAfterEarlierCompilesIsTriedOnceMoreOnAFreshCompiler) {
    const std::string crash = "float4 PS_Plasma(int) : SV_Target { return float4(1, 0, 0, 1); }\n";
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "after a compile on the same process" : "on a fresh process");
        service.ForgetResults();
        service.SetExecutable("");  // the next compile starts a new process
        service.SetExecutable(CompilerService::DefaultExecutable());
        const uint64_t starts = service.Counters().processStarts;
        if (earlier) {
            ASSERT_TRUE(CompilePs(kGood));
        }
        const auto result = CompilePs(crash, "PS_Plasma");
        EXPECT_NE(result.errors.find("crashed the compiler"), std::string::npos) << result.errors;
        EXPECT_FALSE(result.transient);
        EXPECT_EQ(service.Counters().processStarts - starts, earlier ? 2u : 1u);
    }
}

// A compiler that got no processor time says nothing about the source: the failure says so, is
// not kept, and the next compile of the same text runs again.
TEST_F(CompilerServiceTest, ACompileTheMachineGaveNoTimeIsNotKept) {
    service.SetLimits({5, 1u << 30, 0.01});
    resolver.files["slow.fxh"] = "float4 Colour() { return 1; }\n";
    const Hlsl::IncludeResolver slow = [&](const std::string& requested, std::string& includer,
                                           std::string& contents) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return resolver.Function()(requested, includer, contents);
    };
    const std::string source =
        "#include \"slow.fxh\"\nstatic const float pad[16000];\n"
        "float4 PS(float4 p : SV_Position) : SV_Target { return Colour(); }\n";
    const auto starved = service.Compile(source, "plasma.fx", slow, "PS", "ps_4_0");
    ASSERT_FALSE(starved);
    EXPECT_TRUE(starved.transient);
    EXPECT_NE(starved.errors.find("(the machine gave it no time)"), std::string::npos) << starved.errors;

    service.SetLimits(saved);
    const uint64_t compiles = service.Counters().compiles;
    const auto again = service.Compile(source, "plasma.fx", slow, "PS", "ps_4_0");
    EXPECT_EQ(service.Counters().compiles, compiles + 1);
    EXPECT_FALSE(again.transient);
    const auto broken = CompilePs("float4 PS() : SV_Target { return nothing; }\n");
    EXPECT_FALSE(broken.transient) << "a compile error is the source's own";
}

TEST_F(CompilerServiceTest, AKeptResultIsCheckedAgainstWhatItsIncludesReadNow) {
    const std::string source =
        "#include \"colour.fxh\"\nfloat4 PS(float4 p : SV_Position) : SV_Target { return Colour(); }\n";
    resolver.files["colour.fxh"] = "float4 Colour() { return float4(1, 0, 0, 1); }\n";
    ASSERT_TRUE(CompilePs(source));
    const uint64_t compiles = service.Counters().compiles;
    ASSERT_TRUE(CompilePs(source));
    EXPECT_EQ(service.Counters().compiles, compiles);

    resolver.files["colour.fxh"] = "float4 Colour() { return nothing; }\n";
    const auto broken = CompilePs(source);
    EXPECT_FALSE(broken);
    EXPECT_NE(broken.errors.find("colour.fxh:1: error:"), std::string::npos) << broken.errors;
    resolver.files.clear();
    const auto missing = CompilePs(source);
    EXPECT_NE(missing.errors.find("'colour.fxh'"), std::string::npos) << missing.errors;
    EXPECT_EQ(service.Counters().compiles, compiles + 2);
}

TEST_F(CompilerServiceTest, IncludesAreAskedOfThePlayerOncePerCompile) {
    const std::string source =
        "#include \"a.fxh\"\n#include \"a.fxh\"\nfloat4 PS(float4 p : SV_Position) : SV_Target { return A(); "
        "}\n";
    resolver.files["a.fxh"] = "#ifndef A_FXH\n#define A_FXH\nfloat4 A() { return 1; }\n#endif\n";
    const auto result = CompilePs(source);
    ASSERT_TRUE(result) << result.errors;
    EXPECT_EQ(resolver.asked, 1);
}

TEST_F(CompilerServiceTest, WithoutTheCompilerProcessShadersCompileInThePlayer) {
    service.SetExecutable("/nonexistent/vantrisk-shaderc");
    TestSupport::LogCapture capture;
    const auto result = CompilePs(kGood);
    EXPECT_TRUE(result) << result.errors;
    const auto texts = capture.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
              "The shader compiler '/nonexistent/vantrisk-shaderc' cannot be started; shaders compile in the "
              "player");
    EXPECT_EQ(service.GetExecutable(), "");
}

TEST_F(CompilerServiceTest, LongErrorTextsAreCutForTheLog) {
    std::string source;
    for (int i = 0; i < 200; ++i)
        source += "float f" + std::to_string(i) + " = missing" + std::to_string(i) + ";\n";
    const auto result = CompilePs(source + kGood);
    ASSERT_FALSE(result);
    EXPECT_LE(result.errors.size(), 8300u);
    EXPECT_NE(result.errors.find("more lines of errors)"), std::string::npos) << result.errors;
}

// ---------------------------------------------------------------------------------------------------
// Bounds on the sources of one compile, in either process

TEST(HlslIncludeLimits, EachBoundFailsTheCompileWithItsOwnMessage) {
    std::string many;
    for (int i = 0; i < 300; ++i) many += "#include \"empty.fxh\"\n";
    std::string sixteen;
    for (int i = 0; i < 17; ++i) sixteen += "#include \"large.fxh\"\n";
    const std::string large(1 << 20, ' ');
    const struct {
        std::string source;
        const char* message;
    } cases[] = {
        {many + kGood, "more than 256 includes in one compile at 'empty.fxh'"},
        {sixteen + kGood, "the source with its includes is larger than 16 MiB at 'large.fxh'"},
        {std::string(17 << 20, ' ') + kGood, "bytes, larger than 16 MiB"},
    };
    const Hlsl::IncludeResolver resolve = [&](const std::string& requested, const std::string&,
                                              std::string& contents) {
        contents = requested == "large.fxh" ? large : "";
        return true;
    };
    for (const auto& test : cases) {
        const auto result = Hlsl::CompileInProcess(test.source, "plasma.fx", resolve, "PS", "ps_4_0");
        ASSERT_FALSE(result);
        EXPECT_NE(result.errors.find(test.message), std::string::npos) << result.errors.substr(0, 1000);
    }
    // Under the bounds the same files compile.
    std::string fewer;
    for (int i = 0; i < 200; ++i) fewer += "#include \"empty.fxh\"\n";
    EXPECT_TRUE(Hlsl::CompileInProcess(fewer + kGood, "plasma.fx", resolve, "PS", "ps_4_0"));
}

}  // namespace
