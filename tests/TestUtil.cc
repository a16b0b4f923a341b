#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "Sondrax.h"
#include "report/InputFile.h"
#include "report/Output.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace sondrax::test {

std::string Le16(std::uint16_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string Le32(std::uint32_t value) {
  return Le16(static_cast<std::uint16_t>(value & 0xFFFF)) +
         Le16(static_cast<std::uint16_t>(value >> 16));
}

std::string FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint32_t byte_rate, std::uint16_t align, std::uint16_t bits,
                    const std::string& tail) {
  return Le16(tag) + Le16(channels) + Le32(rate) + Le32(byte_rate) + Le16(align) + Le16(bits) +
         tail;
}

std::string ChunkHeader(const std::string& id, std::uint32_t size) { return id + Le32(size); }

std::string PaddedChunk(const std::string& id, const std::string& body) {
  std::string chunk = ChunkHeader(id, static_cast<std::uint32_t>(body.size())) + body;
  if (body.size() % 2 != 0) {
    chunk.push_back('\0');
  }
  return chunk;
}

std::string Pcm16StereoFmt() { return FmtBody(1, 2, 44100, 176400, 4, 16); }

std::string PcmFmtChunk() { return PaddedChunk("fmt ", Pcm16StereoFmt()); }

std::string Riff(const std::string& chunks) { return WavBuilder().Raw(chunks).Bytes(); }

std::string PcmThen(const std::string& tail) {
  return Riff(PcmFmtChunk() + PaddedChunk("data", "abcd") + tail);
}

WavBuilder::WavBuilder() = default;

WavBuilder& WavBuilder::Id(const std::string& id) {
  id_ = id;
  return *this;
}

WavBuilder& WavBuilder::Form(const std::string& form) {
  form_ = form;
  return *this;
}

WavBuilder& WavBuilder::RawSize(std::uint32_t size) {
  raw_size_set_ = true;
  raw_size_ = size;
  return *this;
}

WavBuilder& WavBuilder::Chunk(const std::string& id, const std::string& body) {
  body_ += PaddedChunk(id, body);
  return *this;
}

WavBuilder& WavBuilder::ChunkNoPad(const std::string& id, const std::string& body) {
  return ChunkSized(id, static_cast<std::uint32_t>(body.size()), body);
}

WavBuilder& WavBuilder::ChunkSized(const std::string& id, std::uint32_t size,
                                   const std::string& body) {
  body_ += ChunkHeader(id, size) + body;
  return *this;
}

WavBuilder& WavBuilder::Raw(const std::string& bytes) {
  body_ += bytes;
  return *this;
}

std::string WavBuilder::Bytes() const {
  const std::uint32_t size =
      raw_size_set_ ? raw_size_ : static_cast<std::uint32_t>(form_.size() + body_.size());
  return id_ + Le32(size) + form_ + body_;
}

std::string InfoList(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string body = "INFO";
  for (const auto& [id, text] : items) {
    body += id + Le32(static_cast<std::uint32_t>(text.size())) + text;
    if (text.size() % 2 != 0) {
      body.push_back('\0');
    }
  }
  return body;
}

std::string Cp437(const std::string& utf8) {
  static const std::pair<std::string, char> kGlyphs[] = {
      {"√", '\xFB'}, {"÷", '\xF6'}, {"■", '\xFE'}, {"∙", '\xF9'},
      {"═", '\xCD'}, {"╘", '\xD4'}, {"µ", '\xE6'},
  };
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const char c = utf8[i];
    if (c == '\n') {
      out += "\r\n";
      ++i;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    bool matched = false;
    for (const auto& [glyph, byte] : kGlyphs) {
      if (utf8.compare(i, glyph.size(), glyph) == 0) {
        out.push_back(byte);
        i += glyph.size();
        matched = true;
        break;
      }
    }
    if (!matched) {
      ADD_FAILURE() << "no code page 437 byte for the text at " << utf8.substr(i, 8);
      return out;
    }
  }
  return out;
}

namespace {

// Every file a test process makes lies in one directory of its own, named after the process
// (tests run in parallel processes), and removed with everything in it when the process ends.
std::string& TestDirectoryName() {
  static std::string name;
  return name;
}

class RemoveTestDirectory : public testing::Environment {
 public:
  void TearDown() override {
    if (!TestDirectoryName().empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(TestDirectoryName(), ignored);
    }
  }
};
testing::Environment* const kRemoveTestDirectory =
    testing::AddGlobalTestEnvironment(new RemoveTestDirectory);

}  // namespace

std::string TempPath(const std::string& name) {
  std::string& directory = TestDirectoryName();
  if (directory.empty()) {
    directory = testing::TempDir() + "sondrax_" + std::to_string(getpid());
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
  }
#ifdef _WIN32
  return directory + "\\" + name;  // as the system's full path of the file would spell it
#else
  return directory + "/" + name;
#endif
}

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
  std::string path = TempPath(name);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Banner() {
  return Cp437("                       Sondrax\n                       ═══════\n\n");
}

std::string MaskLocation(const std::string& err) {
  static const std::regex kLocation(" bei [0-9A-F]{8}\\.");
  return std::regex_replace(err, kLocation, " bei XXXXXXXX.");
}

std::string FatalText(const std::string& class_name, const std::string& message,
                      const std::string& module) {
  return "Exception " + class_name + " in Modul " + module + " bei XXXXXXXX.\r\n" + message +
         "\r\n\r\n";
}

std::string FatalText(const std::string& class_name, const std::string& message) {
  return FatalText(class_name, message, kFakeModuleName);
}

RunResult RunShell(const std::string& command) {
  const std::string out_path = TempPath("shell_stdout");
  const std::string err_path = TempPath("shell_stderr");
  // Built by appending: GCC 12 warns falsely (-Wrestrict) about '"(" + text'.
  std::string line = "( ";
  line += command;
  line += " ) >\"" + out_path + "\" 2>\"" + err_path + "\" </dev/null";
  RunResult result;
  const int status = std::system(line.c_str());
#ifdef _WIN32
  result.Code = status;
#else
  result.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
  result.Out = ReadFile(out_path);
  result.Err = ReadFile(err_path);
  return result;
}

RunResult RunBinary(const std::string& arguments_and_redirections) {
  std::string command;
  if (*kEmulator != '\0') {
    command += '"';
    command += kEmulator;
    command += "\" ";
  }
  command += "\"" SONDRAX_BINARY "\" " + arguments_and_redirections;
  return RunShell(command);
}

}  // namespace sondrax::test
