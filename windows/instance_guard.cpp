#include "windows/instance_guard.h"

#include <aclapi.h>
#include <sddl.h>
#include <memory>
#include <vector>

namespace quorvex::windows {

namespace {

// The user the process runs as: its security identifier, held in the
// token's buffer.
class ProcessUser {
  public:
    ProcessUser() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            return;
        }
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        buffer_.resize(size);
        if (size != 0 && GetTokenInformation(token, TokenUser, buffer_.data(), size, &size)) {
            sid_ = reinterpret_cast<TOKEN_USER*>(buffer_.data())->User.Sid;
        }
        CloseHandle(token);
    }
    PSID sid() const { return sid_; }
    std::wstring Text() const {
        wchar_t* text = nullptr;
        if (sid_ == nullptr || !ConvertSidToStringSidW(sid_, &text)) {
            return {};
        }
        std::wstring result(text);
        LocalFree(text);
        return result;
    }

  private:
    std::vector<unsigned char> buffer_;
    PSID sid_ = nullptr;
};

// A security descriptor that makes the user the owner and gives the user
// alone any access.
class UserOnly {
  public:
    explicit UserOnly(PSID user) {
        EXPLICIT_ACCESSW access{};
        access.grfAccessPermissions = MUTEX_ALL_ACCESS;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = static_cast<LPWSTR>(user);
        ok_ = SetEntriesInAclW(1, &access, nullptr, &acl_) == ERROR_SUCCESS &&
              InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorOwner(&descriptor_, user, FALSE) &&
              SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_, FALSE);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    ~UserOnly() {
        if (acl_ != nullptr) {
            LocalFree(acl_);
        }
    }
    UserOnly(const UserOnly&) = delete;
    UserOnly& operator=(const UserOnly&) = delete;
    SECURITY_ATTRIBUTES* attributes() { return ok_ ? &attributes_ : nullptr; }

  private:
    PACL acl_ = nullptr;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ok_ = false;
};

bool OwnedBy(HANDLE object, PSID user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool ours = owner != nullptr && EqualSid(owner, user);
    LocalFree(descriptor);
    return ours;
}

// Tells, without taking it, whether a copy of this user holds a name. The
// owner is all that is read, which a copy of ours grants the user.
bool HeldByUs(const std::wstring& name, PSID user) {
    HANDLE mutex = OpenMutexW(READ_CONTROL, FALSE, name.c_str());
    if (mutex == nullptr) {
        return false;  // no such object, or a stranger's that the user may not open
    }
    const bool ours = OwnedBy(mutex, user);
    CloseHandle(mutex);
    return ours;
}

}  // namespace

InstanceGuard::~InstanceGuard() {
    if (held_ != nullptr) {
        CloseHandle(held_);
    }
}

std::wstring InstanceGuard::NameAt(const std::wstring& program, const std::wstring& user,
                                   int index) {
    return L"Local\\" + program + L"-" + user + L"-" + std::to_wstring(index);
}

bool InstanceGuard::AnotherCopyRuns() {
    if (state_ != State::Undecided) {
        return state_ == State::AnotherCopy;
    }
    state_ = State::Unguarded;
    const ProcessUser user;
    const std::wstring user_text = user.Text();
    if (user_text.empty()) {
        return false;
    }
    UserOnly security(user.sid());
    if (security.attributes() == nullptr) {
        return false;
    }
    // A copy of ours may hold any name of the sequence: it took a later one
    // while strangers held the names before, and they may have gone since.
    // So every name is looked at before the first free one is taken.
    for (int index = 0; index < kNames; ++index) {
        if (HeldByUs(NameAt(program_, user_text, index), user.sid())) {
            state_ = State::AnotherCopy;
            return true;
        }
    }
    // Creating the name is the one atomic step: of copies started at the
    // same moment, which all looked in vain, exactly one creates the first
    // free name and the others find it theirs. (A stranger who leaves a name
    // in that very moment can let two of them start.)
    for (int index = 0; index < kNames; ++index) {
        const std::wstring name = NameAt(program_, user_text, index);
        HANDLE mutex = CreateMutexW(security.attributes(), FALSE, name.c_str());
        const DWORD error = GetLastError();
        if (mutex == nullptr) {
            // ERROR_ACCESS_DENIED: a stranger's object that the user may not
            // open. Any other failure is tried again under the next name.
            continue;
        }
        if (error != ERROR_ALREADY_EXISTS) {
            held_ = mutex;
            state_ = State::Holding;
            return false;
        }
        const bool ours = OwnedBy(mutex, user.sid());
        CloseHandle(mutex);
        if (ours) {
            state_ = State::AnotherCopy;
            return true;
        }
    }
    return false;
}

}  // namespace quorvex::windows
