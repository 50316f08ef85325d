// The peer of `kestrava-cli format` in bench_cli_format: RapidJSON's parse
// (number texts kept as written, as ours keeps them) and pretty-print of the
// file named by its argument, to standard output with a line feed after it.
// The file is read once into one buffer of its size.

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  struct stat status {};
  if (fstat(fileno(file), &status) != 0) return 1;
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  const std::size_t read = std::fread(text.data(), 1, text.size(), file);
  std::fclose(file);
  if (read != text.size()) return 1;

  rapidjson::Document document;
  document.Parse<rapidjson::kParseNumbersAsStringsFlag>(text.data(), text.size());
  if (document.HasParseError()) return 1;
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  document.Accept(writer);
  buffer.Put('\n');
  return std::fwrite(buffer.GetString(), 1, buffer.GetSize(), stdout) == buffer.GetSize() ? 0 : 1;
}
