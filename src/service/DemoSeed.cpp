#include "service/DemoSeed.h"

#include "service/Pictures.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace kdisk::service {

namespace {

bool writeIfMissing(const std::filesystem::path& path, const std::string& content) {
  if (std::filesystem::exists(path)) return true;
  std::ofstream out(path, std::ios::binary);
  out << content;
  return static_cast<bool>(out.flush());
}

// A one-page PDF with a line of text, offsets computed so readers need no repair.
std::string demoPdf() {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << "
      "/Font << /F1 5 0 R >> >> >>",
      "",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string stream = "BT /F1 24 Tf 72 760 Td (Kalumo.Disk demo guide) Tj ET\n"
                       "BT /F1 12 Tf 72 730 Td (Files here live in a local kdisk-service.) Tj ET\n";
  objects[3] = "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream";
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (auto offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// One second of a 440 Hz tone, 8 kHz mono, 8-bit.
std::string demoWav() {
  const std::uint32_t rate = 8000, samples = 8000;
  std::string wav = "RIFF";
  auto le32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wav.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  auto le16 = [&](std::uint16_t v) {
    wav.push_back(static_cast<char>(v & 0xff));
    wav.push_back(static_cast<char>(v >> 8));
  };
  le32(36 + samples);
  wav += "WAVEfmt ";
  le32(16);
  le16(1);
  le16(1);
  le32(rate);
  le32(rate);
  le16(1);
  le16(8);
  wav += "data";
  le32(samples);
  for (std::uint32_t i = 0; i < samples; ++i) {
    // A triangle wave keeps this free of <cmath>.
    std::uint32_t phase = (i * 440 * 256 / rate) % 256;
    int value = phase < 128 ? static_cast<int>(phase) * 2 : (255 - static_cast<int>(phase)) * 2;
    wav.push_back(static_cast<char>(64 + value / 2));
  }
  return wav;
}

} // namespace

bool seedDemoFiles(const std::filesystem::path& root, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const char* folder : {"Documents", "Documents/Projects", "Documents/Projects/2013 Archive",
                             "Images", "Images/Отпуск", "Music"}) {
    fs::create_directories(root / fs::u8path(folder), ec);
    if (ec) {
      error = "cannot create " + (root / folder).string();
      return false;
    }
  }
  bool ok = true;
  ok &= writeIfMissing(root / "Documents/Readme.txt",
                       "Welcome to Kalumo.Disk.\nThese files come from kdisk-service --seed-demo.\n");
  ok &= writeIfMissing(root / "Documents/Meeting notes.txt",
                       "Agenda:\n- quotas\n- previews\n- public links\n");
  ok &= writeIfMissing(root / fs::u8path("Documents/Отчёт за квартал.txt"),
                       "Квартальный отчёт: всё идёт по плану.\n");
  ok &= writeIfMissing(root / "Documents/Guide.pdf", demoPdf());
  ok &= writeIfMissing(root / "Documents/Projects/2013 Archive/plan.txt", "Nested three levels down.\n");
  ok &= writeIfMissing(root / "Music/Tone 440 Hz.wav", demoWav());
  struct Picture {
    const char* path;
    int width, height;
    unsigned seed;
    const char* format;
  };
  for (const Picture& picture : {Picture{"Images/Sunset.jpg", 1024, 768, 20, "jpeg"},
                                 Picture{"Images/Gradient.png", 640, 640, 200, "png"},
                                 Picture{"Images/Отпуск/Море.jpg", 800, 1200, 120, "jpeg"},
                                 Picture{"Images/Wide panorama.jpg", 2000, 500, 300, "jpeg"}}) {
    auto path = root / fs::u8path(picture.path);
    if (!fs::exists(path))
      ok &= writeDemoPicture(path, picture.width, picture.height, picture.seed, picture.format);
  }
  if (!ok) error = "cannot write the demo files into " + root.string();
  return ok;
}

} // namespace kdisk::service
