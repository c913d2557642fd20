// `orv convert`, `orv info` and `orv render`.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orv::cli {

extern const char* const kConvertUsage;
extern const char* const kInfoUsage;
extern const char* const kRenderUsage;

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orv::cli
