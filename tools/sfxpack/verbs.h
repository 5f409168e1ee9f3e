// The verbs beyond create and list, each in a file of its own. args[0] is the verb.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sfxpack {

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool showProgress);

}  // namespace sfxpack
