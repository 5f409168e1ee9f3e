// Real signatures for the tests: a throw-away certificate made once per test program by
// scripts/sign-package.sh, and signing through that script or osslsigncode directly.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {

inline bool HaveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline int ShellStatus(const std::string& command) {
    const int status = std::system(command.c_str());
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

inline std::string SignScript() {
    return std::string(SFXPACK_SOURCE_DIR) + "/scripts/sign-package.sh";
}

// A package test that is skipped when the signing tools are missing.
class SigningTest : public PackageTest {
protected:
    explicit SigningTest(const ImageKind& imageKind = kPe32) : PackageTest(imageKind) {}

    static void SetUpTestSuite() {
        if (!HaveCommand("openssl") || !HaveCommand("osslsigncode")) return;
        keys_ = new fs::path(fs::temp_directory_path() /
                             ("sfxpack_signing_" + std::to_string(std::random_device()())));
        const std::string made = "bash " + ShellQuoted(SignScript()) + " --make-test-cert " +
                                 ShellQuoted(keys_->string()) + " >/dev/null";
        if (ShellStatus(made) != 0) {
            delete keys_;
            keys_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        if (keys_ == nullptr) return;
        std::error_code ignored;
        fs::remove_all(*keys_, ignored);
        delete keys_;
        keys_ = nullptr;
    }
    void SetUp() override {
        PackageTest::SetUp();
        if (keys_ == nullptr) GTEST_SKIP() << "needs openssl and osslsigncode to sign";
    }

    static std::string Cert() { return (*keys_ / "cert.pem").string(); }
    static std::string Key() { return (*keys_ / "key.pem").string(); }

    // Exit code of scripts/sign-package.sh; its output is dropped.
    static int SignWithScript(const std::string& in, const std::string& out,
                              const std::string& key = Key()) {
        return ShellStatus("SFXPACK=" + ShellQuoted(SFXPACK_EXE) + " bash " +
                           ShellQuoted(SignScript()) + " " + ShellQuoted(Cert()) + " " +
                           ShellQuoted(key) + " " + ShellQuoted(in) + " " + ShellQuoted(out) +
                           " >/dev/null 2>&1");
    }
    static int SignWithOsslsigncode(const std::string& in, const std::string& out) {
        return ShellStatus("osslsigncode sign -certs " + ShellQuoted(Cert()) + " -key " +
                           ShellQuoted(Key()) + " -h sha256 -in " + ShellQuoted(in) + " -out " +
                           ShellQuoted(out) + " >/dev/null 2>&1");
    }

private:
    static fs::path* keys_;
};

inline fs::path* SigningTest::keys_ = nullptr;

}  // namespace sfxtest
