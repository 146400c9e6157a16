#include "test_support.h"

#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "pedigree_file/pedigree_reader.h"

namespace test_support {

std::vector<std::unique_ptr<Family>> familiesFromText(std::string_view text) {
  std::vector<std::unique_ptr<Family>> families;
  LineSource source(text);
  PedigreeReader reader(source, "test input");
  while (true) {
    ReadFamily read = reader.nextFamily();
    if (read.family == nullptr) break;
    read.family->memberCount = static_cast<int>(read.family->members.size());
    families.push_back(std::move(read.family));
  }
  return families;
}

std::unique_ptr<Family> preparedFamily(std::string_view text) {
  auto families = familiesFromText(text);
  if (families.empty()) return nullptr;
  families.front()->prepare();
  return std::move(families.front());
}

std::string makeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "haplotor-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made == nullptr ? std::string() : std::string(made);
}

std::string folderWith(const std::map<std::string, std::string>& files) {
  const std::string dir = makeTempDir();
  for (const auto& [name, text] : files) writeFile(dir + "/" + name, text);
  return dir;
}

std::string exampleText(const std::string& name) {
  return readFile(std::string(HAPLOTOR_SOURCE_DIR) + "/examples/" + name);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

namespace {
std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

RunResult runHaplotor(const std::vector<std::string>& arguments, const std::string& workDir,
                      const std::map<std::string, std::string>& environment) {
  std::map<std::string, std::string> env = environment;
  env.emplace("HAPLOTOR_SEED", "1");
  std::string command = "cd ";
  command.append(shellQuote(workDir)).append(" && env");
  for (const auto& [name, value] : env)
    command.append(" ").append(name).append("=").append(shellQuote(value));
  const auto script = env.find("HAPLOTOR_SHELL_SCRIPT");
  if (script != env.end()) {
    command.append(" HAPLOTOR=")
        .append(shellQuote(HAPLOTOR_EXE))
        .append(" sh -c ")
        .append(shellQuote(script->second));
  } else {
    command.append(" ").append(shellQuote(HAPLOTOR_EXE));
  }
  for (const std::string& argument : arguments) command.append(" ").append(shellQuote(argument));
  const std::string outPath = workDir + "/.stdout";
  const std::string errPath = workDir + "/.stderr";
  command.append(" >").append(shellQuote(outPath)).append(" 2>").append(shellQuote(errPath));
  RunResult result;
  int status = std::system(command.c_str());
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standardOutput = readFile(outPath);
  result.standardError = readFile(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

RunResult runShell(const std::string& script, const std::string& workDir) {
  return runHaplotor({}, workDir, {{"HAPLOTOR_SHELL_SCRIPT", script}});
}

std::string maskTimes(const std::string& resText) {
  std::istringstream in(resText);
  std::string line;
  std::string masked;
  while (std::getline(in, line)) {
    const std::string totalLabel = "Total Time used(Sec):\t";
    if (line.rfind(totalLabel, 0) == 0) {
      line = totalLabel + "T";
    } else {
      // Family lines: "<family>\t <count>\t <seconds>".
      std::size_t first = line.find("\t ");
      std::size_t second = first == std::string::npos ? first : line.find("\t ", first + 2);
      bool numeric =
          second != std::string::npos && second + 2 < line.size() &&
          (std::isdigit(static_cast<unsigned char>(line[second + 2])) != 0 || line[second + 2] == '-');
      if (numeric && line.find('\t', second + 2) == std::string::npos) {
        line = line.substr(0, second + 2) + "T";
      }
    }
    masked += line + "\n";
  }
  return masked;
}

}  // namespace test_support
