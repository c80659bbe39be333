// The Win32 services where a user meets them: the random source when the
// system's generator fails, the clipboard as other programs read it, and the
// single-instance guard between copies of the program (this test program,
// started again with --copy) and other users' objects.
#include "runtime/runtime.h"
#include "tests/scripted_services.h"
#include "windows/bcrypt_random.h"
#include "windows/clipboard.h"
#include "windows/instance_guard.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <latch>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using quorvex::runtime::ErrorNumber;
using quorvex::testing::RaisedBy;
using quorvex::windows::BcryptRandom;
using quorvex::windows::InstanceGuard;

constexpr int kDeviceUnavailable = static_cast<int>(ErrorNumber::DeviceUnavailable);
constexpr std::size_t kWords = BcryptRandom::kBlockSize / 8;

// --- The random source -------------------------------------------------

// A stand-in for the system's generator. Call n fills word i of the block
// with a value whose draw is (n * 2^32 + i) * 2^-53, so every draw tells
// which block and word it came from. The call numbered `failing` gives
// `part` bytes and fails.
struct Source {
    static inline int calls = 0;
    static inline int failing = 0;
    static inline std::size_t part = 0;
    static inline unsigned char* block = nullptr;
    static inline unsigned char constant = 0;

    static std::uint64_t Word(int call, std::size_t index) {
        return (std::uint64_t(call) << 32 | index) << 11;
    }
    static double DrawOf(int call, std::size_t index) {
        return static_cast<double>(Word(call, index) >> 11) * 0x1.0p-53;
    }
    static bool Words(unsigned char* data, std::size_t size) {
        block = data;
        ++calls;
        const std::size_t given = calls == failing ? part : size;
        for (std::size_t at = 0; at < given; at += 8) {
            const std::uint64_t word = Word(calls, at / 8);
            std::memcpy(data + at, &word, std::min<std::size_t>(8, given - at));
        }
        return calls != failing;
    }
    static bool Constant(unsigned char* data, std::size_t size) {
        std::memset(data, constant, size);
        return true;
    }
};

struct Failure {
    int failing;       // the source's call that fails
    std::size_t part;  // the bytes it gives first
};

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << "call " << failure.failing << " fails after " << failure.part << " bytes";
}

class RandomFailureTest : public ::testing::TestWithParam<Failure> {};

// The draw that finds the source failing raises Device unavailable; the next
// one asks again, and every draw comes from a whole block, in order, never
// from the bytes a failing call left.
TEST_P(RandomFailureTest, RaisesThenAsksAgain) {
    Source::calls = 0;
    Source::failing = GetParam().failing;
    Source::part = GetParam().part;
    BcryptRandom random(Source::Words);
    int raised = 0;
    for (int block = 1; block <= 3; ++block) {
        if (block == Source::failing) {
            EXPECT_EQ(RaisedBy([&] { random.NextDouble(); }), kDeviceUnavailable);
            ++raised;
        }
        const int call = block + raised;
        for (std::size_t i = 0; i < kWords; ++i) {
            ASSERT_EQ(random.NextDouble(), Source::DrawOf(call, i)) << "block " << block;
        }
        EXPECT_EQ(Source::calls, call);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, RandomFailureTest,
                         ::testing::Values(Failure{1, 0}, Failure{1, 100},
                                           Failure{2, BcryptRandom::kBlockSize - 8},
                                           Failure{3, 1}));

TEST(RandomTest, ResetThrowsTheBufferAway) {
    Source::calls = 0;
    Source::failing = 0;
    BcryptRandom random(Source::Words);
    random.Reset();  // reads nothing, so it cannot fail
    EXPECT_EQ(Source::calls, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(random.NextDouble(), Source::DrawOf(1, i));
    }
    // The words drawn are wiped at once, the rest when the buffer is reset.
    const auto wiped = [] {
        std::vector<bool> words;
        for (std::size_t i = 0; i < kWords; ++i) {
            words.push_back(std::all_of(Source::block + 8 * i, Source::block + 8 * i + 8,
                                        [](unsigned char byte) { return byte == 0; }));
        }
        return words;
    };
    std::vector<bool> expected(kWords, false);
    std::fill_n(expected.begin(), 3, true);
    EXPECT_EQ(wiped(), expected);
    random.Reset();
    EXPECT_EQ(wiped(), std::vector<bool>(kWords, true));
    EXPECT_EQ(Source::calls, 1);
    EXPECT_EQ(random.NextDouble(), Source::DrawOf(2, 0));
}

// All bits clear and all bits set are the ends of the range: 53 bits make
// the largest draw the largest double below 1.
TEST(RandomTest, EndsOfTheRange) {
    for (const auto& [byte, draw] :
         {std::pair{0x00, 0.0}, std::pair{0xFF, std::nextafter(1.0, 0.0)}}) {
        Source::constant = static_cast<unsigned char>(byte);
        BcryptRandom random(Source::Constant);
        EXPECT_EQ(random.NextDouble(), draw) << byte;
    }
}

// The system's generator: draws below 1, whole multiples of 2^-53, with no
// repeat, and every one of the 53 bits seen set.
TEST(RandomTest, SystemGenerator) {
    BcryptRandom random;
    std::set<std::uint64_t> seen;
    std::uint64_t ever_set = 0;
    for (std::size_t i = 0; i < 2 * kWords; ++i) {
        const double r = random.NextDouble();
        const double scaled = r * 0x1.0p53;
        ASSERT_TRUE(r >= 0.0 && r < 1.0 && scaled == std::floor(scaled)) << r;
        ever_set |= static_cast<std::uint64_t>(scaled);
        seen.insert(static_cast<std::uint64_t>(scaled));
    }
    EXPECT_EQ(seen.size(), 2 * kWords);
    EXPECT_EQ(ever_set, (std::uint64_t{1} << 53) - 1);
}

// --- The clipboard -----------------------------------------------------

// A window of this program, or of another, that the clipboard is opened with.
struct MessageWindow {
    HWND hwnd =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~MessageWindow() { DestroyWindow(hwnd); }
};

// What another program finds on the clipboard: each format with its bytes,
// leaving out the ones the system derives from the text.
std::vector<std::pair<std::wstring, std::string>> ClipboardContents() {
    std::vector<std::pair<std::wstring, std::string>> contents;
    if (!OpenClipboard(nullptr)) {
        ADD_FAILURE() << "the clipboard does not open";
        return contents;
    }
    for (UINT format = EnumClipboardFormats(0); format != 0;
         format = EnumClipboardFormats(format)) {
        if (format == CF_TEXT || format == CF_OEMTEXT || format == CF_LOCALE) {
            continue;
        }
        wchar_t name[128] = L"";
        if (format == CF_UNICODETEXT) {
            std::wcscpy(name, L"CF_UNICODETEXT");
        } else if (GetClipboardFormatNameW(format, name, 128) == 0) {
            std::swprintf(name, 128, L"#%u", format);
        }
        std::string bytes;
        if (HANDLE data = GetClipboardData(format); data != nullptr) {
            const auto* at = static_cast<const char*>(GlobalLock(data));
            bytes.assign(at, at + GlobalSize(data));
            GlobalUnlock(data);
        }
        contents.emplace_back(name, bytes);
    }
    CloseClipboard();
    std::sort(contents.begin(), contents.end());
    return contents;
}

// Another program's copy: text and a format of its own.
void CopyOfAnotherProgram() {
    MessageWindow other;
    ASSERT_TRUE(OpenClipboard(other.hwnd));
    EmptyClipboard();
    for (const auto& [format, text] :
         {std::pair{UINT{CF_UNICODETEXT}, L"before"},
          std::pair{RegisterClipboardFormatW(L"QuorvexTestOther"), L"rich"}}) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
        std::memcpy(GlobalLock(memory), text, (std::wcslen(text) + 1) * 2);
        GlobalUnlock(memory);
        SetClipboardData(format, memory);
    }
    CloseClipboard();
    ASSERT_EQ(ClipboardContents().size(), 2U);
}

std::string Bytes(const void* data, std::size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

struct Text {
    const char* name;
    std::u16string value;
};

void PrintTo(const Text& text, std::ostream* out) {
    *out << text.name;
}

class ClipboardTest : public ::testing::TestWithParam<Text> {
  protected:
    MessageWindow window_;
};

// The copy replaces whatever was there with exactly the text, marked so that
// clipboard monitors, clipboard history and the cloud clipboard leave it.
TEST_P(ClipboardTest, CopyHoldsExactlyTheMarkedText) {
    CopyOfAnotherProgram();
    const std::u16string& text = GetParam().value;
    quorvex::windows::PutSecretText(window_.hwnd, text);
    const auto contents = ClipboardContents();
    std::vector<std::wstring> formats;
    for (const auto& [format, bytes] : contents) {
        formats.push_back(format);
        const DWORD no = 0;
        if (format == L"CF_UNICODETEXT") {
            EXPECT_TRUE(bytes == Bytes(text.c_str(), (text.size() + 1) * 2))
                << "the text differs: " << bytes.size() << " bytes";
        } else if (format.starts_with(L"Can")) {
            EXPECT_EQ(bytes, Bytes(&no, sizeof no));
        }
    }
    EXPECT_EQ(formats,
              (std::vector<std::wstring>{L"CF_UNICODETEXT", L"CanIncludeInClipboardHistory",
                                         L"CanUploadToCloudClipboard",
                                         L"ExcludeClipboardContentFromMonitorProcessing"}));
}

INSTANTIATE_TEST_SUITE_P(Texts, ClipboardTest,
                         ::testing::Values(Text{"Empty", u""}, Text{"OneCharacter", u"x"},
                                           Text{"Password", u"q7#Lm}Pz"},
                                           Text{"Longest", std::u16string(32766, u'W')}),
                         [](const auto& text) { return text.param.name; });

TEST(ClipboardClearTest, ClearingEmptiesIt) {
    CopyOfAnotherProgram();
    MessageWindow window;
    quorvex::windows::ClearClipboard(window.hwnd);
    EXPECT_TRUE(ClipboardContents().empty());
}

// --- The instance guard ------------------------------------------------

std::wstring UserSid() {
    HANDLE token = nullptr;
    std::vector<unsigned char> buffer(512);
    DWORD size = 0;
    wchar_t* text = nullptr;
    std::wstring sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, buffer.data(), 512, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

// A guard sequence of this test alone, so that no running program and no
// other test meets it.
std::wstring Program(const std::wstring& what) {
    return L"QuorvexTest-" + what + L"-" + std::to_wstring(GetCurrentProcessId());
}

// Copies of the program: this test program started with --copy, which
// decides the guard once a start event is set, answers '0' (it runs) or '1'
// (another copy runs) and holds the guard until its input closes.
class Copies {
  public:
    explicit Copies(std::wstring program) : program_(std::move(program)) {}
    ~Copies() { End(true); }

    // Starts `n` copies at one moment; their sorted answers.
    std::string Start(int n) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE go = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        std::vector<HANDLE> answers;
        for (int i = 0; i < n; ++i) {
            HANDLE in_read, in_write, out_read, out_write;
            CreatePipe(&in_read, &in_write, &inherit, 0);
            CreatePipe(&out_read, &out_write, &inherit, 0);
            SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
            SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
            std::wstring line = L"\"" + std::wstring(self) + L"\" --copy " + program_ + L" " +
                                std::to_wstring(reinterpret_cast<std::uintptr_t>(go));
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = in_read;
            startup.hStdOutput = out_write;
            startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
            PROCESS_INFORMATION process{};
            if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process)) {
                CloseHandle(process.hThread);
                running_.push_back({process.hProcess, in_write});
                answers.push_back(out_read);
            } else {
                CloseHandle(in_write);
                CloseHandle(out_read);
            }
            CloseHandle(in_read);
            CloseHandle(out_write);
        }
        SetEvent(go);
        CloseHandle(go);
        std::string got;
        for (HANDLE answer : answers) {
            char byte = 'e';  // ended without answering
            DWORD read = 0;
            ReadFile(answer, &byte, 1, &read, nullptr);
            got += read == 1 ? byte : 'e';
            CloseHandle(answer);
        }
        std::sort(got.begin(), got.end());
        return got;
    }

    // Ends every copy: as a crash ends it, or by closing its input, after
    // which it returns from main.
    void End(bool crash) {
        for (const auto& [process, input] : running_) {
            if (crash) {
                TerminateProcess(process, 1);
            }
            CloseHandle(input);
            WaitForSingleObject(process, 30000);
            CloseHandle(process);
        }
        running_.clear();
    }

  private:
    std::wstring program_;
    std::vector<std::pair<HANDLE, HANDLE>> running_;
};

// A copy of the program, in a child process.
int RunCopy(const char* program, const char* go) {
    const bool started =
        WaitForSingleObject(reinterpret_cast<HANDLE>(std::stoul(go)), 30000) == WAIT_OBJECT_0;
    InstanceGuard guard(std::wstring(program, program + std::strlen(program)));
    const char answer = !started ? 'w' : guard.AnotherCopyRuns() ? '1' : '0';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &answer, 1, &written, nullptr);
    char byte;
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read != 0) {
    }
    return 0;
}

TEST(GuardTest, OneCopyRunsUntilItEnds) {
    const std::wstring program = Program(L"held");
    Copies first(program);
    ASSERT_EQ(first.Start(1), "0");
    Copies second(program);
    EXPECT_EQ(second.Start(1), "1");
    first.End(true);  // the system frees the guard of a copy that crashed
    Copies third(program);
    EXPECT_EQ(third.Start(1), "0");
    third.End(false);
    EXPECT_EQ(Copies(program).Start(1), "0");
}

// Copies started at once: of a few processes, and of guards that threads
// decide at one moment (they meet far more often than processes, which wine
// wakes one after another), exactly one holds the guard.
TEST(GuardTest, CopiesStartedAtOnce) {
    EXPECT_EQ(Copies(Program(L"at-once")).Start(4), "0111");
    for (int round = 0; round < 20; ++round) {
        const std::wstring program = Program(L"threads") + L"-" + std::to_wstring(round);
        std::vector<std::unique_ptr<InstanceGuard>> guards;
        for (int i = 0; i < 8; ++i) {
            guards.push_back(std::make_unique<InstanceGuard>(program));
        }
        std::latch start(8);
        std::atomic<int> holding = 0;
        std::vector<std::thread> threads;
        for (auto& guard : guards) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                holding += guard->AnotherCopyRuns() ? 0 : 1;
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        ASSERT_EQ(holding, 1) << "round " << round;
    }
}

// Another user's object on a name of the sequence: one whose security
// denies this user everything, or one that is open to all but owned by
// someone else. wine runs every program as one user; an object owned by the
// Administrators group, which this user may make the owner, stands in.
enum class Stranger { DeniesAccess, OwnedByOther };

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

Handle Squat(const std::wstring& name, Stranger kind) {
    PSID administrators = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-32-544", &administrators)) {
        return Handle(nullptr, CloseHandle);
    }
    ACL empty;
    SECURITY_DESCRIPTOR descriptor;
    HANDLE mutex = nullptr;
    if (InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorOwner(&descriptor, administrators, FALSE) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE,
                                  kind == Stranger::DeniesAccess ? &empty : nullptr, FALSE)) {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
        mutex = CreateMutexW(&attributes, FALSE, name.c_str());
        if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            mutex = nullptr;
        }
    }
    LocalFree(administrators);
    return Handle(mutex, CloseHandle);
}

const char* NameOf(Stranger kind) {
    return kind == Stranger::DeniesAccess ? "DeniesAccess" : "OwnedByOther";
}

void PrintTo(Stranger kind, std::ostream* out) {
    *out << NameOf(kind);
}

class GuardStrangerTest : public ::testing::TestWithParam<Stranger> {};

TEST_P(GuardStrangerTest, PassedOver) {
    const std::wstring program =
        Program(GetParam() == Stranger::DeniesAccess ? L"denies" : L"owns");
    const std::wstring user = UserSid();
    ASSERT_FALSE(user.empty());
    Handle stranger = Squat(InstanceGuard::NameAt(program, user, 0), GetParam());
    ASSERT_NE(stranger, nullptr);
    if (GetParam() == Stranger::DeniesAccess) {
        // wine checks the object's security as Windows does.
        const std::wstring name = InstanceGuard::NameAt(program, user, 0);
        const Handle opened(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()), CloseHandle);
        ASSERT_EQ(opened, nullptr);
        ASSERT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    }
    Copies first(program);
    ASSERT_EQ(first.Start(1), "0");
    // The first copy took the next name; later ones find it there.
    const std::wstring next = InstanceGuard::NameAt(program, user, 1);
    EXPECT_NE(Handle(OpenMutexW(SYNCHRONIZE, FALSE, next.c_str()), CloseHandle), nullptr);
    EXPECT_EQ(Copies(program).Start(2), "11");
    // The stranger goes: later copies that find the first name free still
    // find the first copy on the next one.
    stranger.reset();
    EXPECT_EQ(Copies(program).Start(1), "1");
    EXPECT_EQ(Copies(program).Start(3), "111");
}

INSTANTIATE_TEST_SUITE_P(Strangers, GuardStrangerTest,
                         ::testing::Values(Stranger::DeniesAccess, Stranger::OwnedByOther),
                         [](const auto& kind) { return NameOf(kind.param); });

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--copy") == 0) {
        return RunCopy(argv[2], argv[3]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
