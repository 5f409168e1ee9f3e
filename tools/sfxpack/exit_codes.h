// Exit codes of sfxpack, which every verb returns.
#pragma once

namespace sfxpack {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // refused input, unusable or broken package, failed check
constexpr int kExitUsage = 2;

}  // namespace sfxpack
