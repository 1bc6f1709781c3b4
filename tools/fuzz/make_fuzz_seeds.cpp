// Writes the seed inputs of every fuzz target into OUTDIR/<target>/, made with the test
// suite's own picture builders: small JPEG pictures of each kind (with and without
// comments), GIF pictures (global and local colours, interlaced, with extensions, several
// frames), pictures with EXIF, XMP and IPTC metadata and those payloads on their own, and
// short variable, template, settings and pattern texts.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/picture_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace pix::test;

void Write(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}

std::vector<std::string> Jpegs() {
  const PixelArt art = ParseArt({"rgbyc", "mwk.r", "gbycm"});
  std::vector<std::string> files;
  for (JpegKind kind : {JpegKind::kBaseline, JpegKind::kProgressive, JpegKind::kGrey, JpegKind::kCmyk,
                        JpegKind::kYcck}) {
    JpegOptions options;
    options.kind = kind;
    files.push_back(MakeJpeg(art, options));
  }
  JpegOptions commented;
  commented.comments = {"Title:\r\nA picture\r\n\r\n", "Description:\nTwo\nlines\n\n"};
  commented.app1_payload = "Exif\0\0MM";
  files.push_back(MakeJpeg(SampleArt(), commented));
  files.push_back(MakeJpeg(GradientArt(17, 9), {}));
  return files;
}

std::vector<std::string> Gifs() {
  std::vector<std::string> files;
  files.push_back(MakeGif(SimpleGif(3, 2, {0, 1, 2, 3, 4, 5}, 8)));
  GifPicture interlaced = SimpleGif(4, 9, std::vector<std::uint8_t>(36, 1), 4);
  interlaced.frames[0].interlace = true;
  files.push_back(MakeGif(interlaced));
  GifPicture rich = SimpleGif(5, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, 4);
  rich.frames[0].extensions_before = {{0xF9, {std::string("\x01\x00\x00\x02", 4)}}};
  GifFrame second;
  second.left = 1;
  second.top = 1;
  second.width = 2;
  second.height = 2;
  second.local_colors = {{255, 0, 0}, {0, 255, 0}};
  second.pixels = {0, 1, 1, 0};
  rich.frames.push_back(second);
  rich.trailing_extensions = {{0xFE, {"a comment"}}};
  files.push_back(MakeGif(rich));
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
    return 2;
  }
  const fs::path out(argv[1]);
  int n = 0;
  for (const std::string& jpeg : Jpegs()) {
    const std::string name = "seed-" + std::to_string(++n);
    Write(out / "comread", name, jpeg);
    Write(out / "comwrite", name, std::string(1, '\x14') + "Title:\r\nNew title\r\n" + jpeg);
    Write(out / "decjpeg", name, std::string("\x10\x0c") + jpeg);
    // JPEG out, WebP out turned a quarter: the webimage target's control bytes.
    Write(out / "webimage", name, std::string("\x10\x0c") + jpeg);
    Write(out / "webimage", name + "-webp", std::string("\x50\x8c") + jpeg);
  }
  // Pictures with metadata for the metadata readers, and each payload on its own (the
  // target also hands its bytes to each payload reader).
  ExifFields exif;
  exif.orientation = 6;
  exif.image_description = "Harbour";
  exif.make = "NIKON CORPORATION";
  exif.model = "NIKON D750";
  exif.date_time_original = "2024:06:01 14:03:22";
  JpegOptions described;
  described.jfif = false;
  described.segments = {
      ExifSegment(exif),
      XmpSegment("<dc:description><rdf:Alt><rdf:li xml:lang=\"de\">Hafen</rdf:li>"
                 "<rdf:li xml:lang=\"x-default\">Harbour &amp; boats</rdf:li></rdf:Alt>"
                 "</dc:description>"),
      PhotoshopIptcSegment({{1, 90, "\x1B%G"}, {2, 120, "Caf\xC3\xA9"}}),
  };
  described.comments = {"A plain comment"};
  Write(out / "metadata", "seed-1", MakeJpeg(SampleArt(), described));
  exif.BigEndian = true;
  Write(out / "metadata", "seed-2", ExifSegment(exif).payload.substr(6));
  Write(out / "metadata", "seed-3", described.segments[1].payload.substr(29));
  Write(out / "metadata", "seed-4", described.segments[2].payload.substr(14));
  for (const std::string& gif : Gifs()) {
    const std::string name = "seed-" + std::to_string(++n);
    Write(out / "gifrsize", name, std::string("\x07\x04") + gif);
    Write(out / "webimage", name, std::string("\x87\x04") + gif);  // A GIF picture.
  }
  const std::string variables =
      "PageHeadTemplate:\r\n<h1>${Title}</h1>\r\n\r\nTitle:\r\nHome of ${Owner}\r\n\r\n"
      "Owner:\r\nA. Person\r\n\r\nEntry:\nline one\nline two\n\n";
  Write(out / "variable", "seed-1", variables);
  Write(out / "variable", "seed-2", "Ab:value\nCd:\r\n  spaced\r\n");
  Write(out / "template", "seed-1",
        variables + std::string(1, '\0') + "<html>${PageHeadTemplate}${Missing}$${x}${Ab}");
  Write(out / "template", "seed-2",
        std::string("Aaa:\r\n${Bbb}${Bbb}\r\n\r\nBbb:\r\n${Ccc}${Ccc}\r\n\r\nCcc:\r\n${Aaa}x\r\n") +
            std::string(1, '\0') + "${Aaa}");
  Write(out / "profile", "seed-1",
        std::string("; settings\r\n[Display]\r\nMaxDisplayWidth=320\r\nName=\"quoted\"\r\n\r\n"
                    "[Other]\r\nKept=yes\r\n") +
            std::string(1, '\0') + "Display\nMaxDisplayHeight\n240");
  Write(out / "profile", "seed-2", std::string("[A]\nb = c\n") + std::string(1, '\0') + "A\nb\n");
  Write(out / "pattern", "seed-1", std::string("img_0012a.jpg") + '\0' + "img_####@.jpg");
  Write(out / "pattern", "seed-2", std::string("holiday 2.gif") + '\0' + "*day*#.*, *.jpg ?x");
  return 0;
}
