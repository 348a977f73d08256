// The converter's process handling on every platform, with a stand-in for
// LibreOffice and its UNO helper (stand_in_office.cc): one-shot and
// resident conversions, failures, time-outs, how LibreOffice is found. The
// real LibreOffice is exercised at the end where it is installed.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "office.h"
#include "platen_model/platen_model.h"
#include "platen_model/test_support.h"
#include "travo/platform/process.h"
#include "travo/platform/process_testing.h"
#include "travo/platform/programs.h"
#include "travo/platform/temp_folder.h"
#include "travo/platform/utf8.h"

namespace platen_model {
namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using platform::test_support::eventually;
using test_support::error_of;
using test_support::Observed_Converter;
using platform::test_support::process_gone;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class PlatenStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = platform::create_private_folder("platen-stand-in-");
    // Only the package signature is checked before LibreOffice starts.
    docx_ = dir_ / platform::utf8_path("報告 input.docx");
    std::ofstream(docx_, std::ios::binary) << "PK\x03\x04 stand-in document";
    for (const char* name : kVariables) saved_.push_back(platform::environment_variable(name));
    set("PLATEN_STAND_IN_PIDS", platform::utf8_string(dir_ / "pids"));
  }
  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kVariables); ++i) set(kVariables[i], saved_[i]);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static void set(const char* name, const std::optional<std::string>& value) {
    if (value) platform::set_environment_variable(name, *value);
    else platform::unset_environment_variable(name);
  }

  Options stand_in_options() const {
    Options o;
    o.soffice = PLATEN_STAND_IN;
    o.python = PLATEN_STAND_IN;
    o.bridge_script = PLATEN_STAND_IN;  // any file: the stand-in ignores it
    o.timeout = std::chrono::seconds(120);
    return o;
  }

  std::vector<platform::Process_Id> recorded_pids() const {
    std::ifstream in(dir_ / "pids");
    std::vector<platform::Process_Id> ids;
    unsigned long id;
    while (in >> id) ids.push_back(static_cast<platform::Process_Id>(id));
    return ids;
  }

  static bool is_stand_in_pdf(const fs::path& p) { return read_file(p).rfind("%PDF-1.4\nstand-in\n", 0) == 0; }

  static constexpr const char* kVariables[] = {"PLATEN_STAND_IN", "PLATEN_STAND_IN_BRIDGE", "PLATEN_STAND_IN_PIDS",
                                               "TRAVO_SOFFICE", "TRAVO_PDF_CONVERTER", "PATH", "ProgramFiles",
                                               "ProgramFiles(x86)"};
  fs::path dir_;
  fs::path docx_;
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(PlatenStandIn, ConvertsOnceAndResidentWithChineseNamesAndSpaces) {
  const fs::path once = dir_ / platform::utf8_path("輸出 folder") / platform::utf8_path("單次 報告.pdf");
  Observed_Converter converter(stand_in_options());
  converter.convert(platform::utf8_string(docx_), platform::utf8_string(once), false);
  EXPECT_TRUE(is_stand_in_pdf(once)) << read_file(once);
  EXPECT_THAT(read_file(once), HasSubstr(platform::utf8_string(docx_)));  // the input path arrived intact
  EXPECT_EQ(converter.office_starts(), 0);

  const fs::path warm = dir_ / platform::utf8_path("輸出 folder") / platform::utf8_path("常駐 報告.pdf");
  converter.convert(platform::utf8_string(docx_), platform::utf8_string(warm), true);
  const platform::Process_Id office = converter.resident_pid();
  EXPECT_NE(office, 0u);
  converter.convert(platform::utf8_string(docx_), platform::utf8_string(warm), true);
  EXPECT_TRUE(is_stand_in_pdf(warm));
  EXPECT_EQ(converter.resident_pid(), office);
  EXPECT_EQ(converter.office_starts(), 1);
  // The helper was handed the document as a file URL.
  EXPECT_THAT(read_file(warm), HasSubstr("file:///"));
}

TEST_F(PlatenStandIn, ResidentOfficeEndsWithTheConverter) {
  platform::Process_Id office;
  fs::path private_dir;
  {
    Observed_Converter converter(stand_in_options());
    converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "a.pdf"), true);
    office = converter.resident_pid();
    private_dir = converter.private_dir();
    EXPECT_FALSE(process_gone(office));
  }
  EXPECT_TRUE(eventually([&] { return process_gone(office); }));
  EXPECT_FALSE(fs::exists(private_dir));
}

TEST_F(PlatenStandIn, FailuresCarryTheOfficesOwnWords) {
  set("PLATEN_STAND_IN", "nopdf");
  Observed_Converter converter(stand_in_options());
  std::string error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "q.pdf"), false); });
  EXPECT_THAT(error, HasSubstr("produced no PDF (exit code 0)"));
  EXPECT_THAT(error, HasSubstr("source file could not be loaded"));
  EXPECT_FALSE(fs::exists(dir_ / "q.pdf"));

  set("PLATEN_STAND_IN", "fail");
  error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "q.pdf"), false); });
  EXPECT_THAT(error, HasSubstr("exit code 1"));

  // A helper that cannot start says why.
  set("PLATEN_STAND_IN", "pdf");
  set("PLATEN_STAND_IN_BRIDGE", "fatal");
  error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "q.pdf"), true); });
  EXPECT_THAT(error, HasSubstr("the Python UNO module is missing"));
  EXPECT_EQ(converter.resident_pid(), 0u);
}

TEST_F(PlatenStandIn, LostOrDyingHelperFallsBackToAOneShotRun) {
  for (const std::string mode : {"lost", "die"}) {
    SCOPED_TRACE(mode);
    set("PLATEN_STAND_IN_BRIDGE", mode);
    Observed_Converter converter(stand_in_options());
    const fs::path out = dir_ / (mode + ".pdf");
    EXPECT_EQ(error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(out), true); }), "");
    EXPECT_TRUE(is_stand_in_pdf(out));
    // A lost office is restarted once first; a dead helper is not.
    EXPECT_EQ(converter.office_starts(), mode == "lost" ? 2 : 1);
    EXPECT_EQ(converter.resident_pid(), 0u);
  }
  // Every office started on the way is gone.
  for (platform::Process_Id id : recorded_pids()) EXPECT_TRUE(eventually([&] { return process_gone(id); })) << id;
}

TEST_F(PlatenStandIn, HungConversionIsKilledAtTheTimeout) {
  Options options = stand_in_options();
  options.timeout = std::chrono::milliseconds(1500);
  for (const bool keep_active : {false, true}) {
    SCOPED_TRACE(keep_active ? "resident" : "one-shot");
    fs::remove(dir_ / "pids");
    if (keep_active) {
      set("PLATEN_STAND_IN", "pdf");  // the resident office idles ...
      set("PLATEN_STAND_IN_BRIDGE", "silent");  // ... and the helper never answers
    } else {
      set("PLATEN_STAND_IN", "hang");
    }
    Observed_Converter converter(options);
    const std::string error =
        error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "h.pdf"), keep_active); });
    if (keep_active) {
      // A start-up slowed past the time-out by a busy machine ends the same way.
      EXPECT_THAT(error, AnyOf(HasSubstr("did not finish within 1.5 s"), HasSubstr("did not start within 1.5 s")));
    } else {
      EXPECT_THAT(error, HasSubstr("did not finish within 1.5 s and was stopped"));
    }
    // One office at most: on a busy machine the time-out may come before
    // the stand-in got to record itself.
    const auto ids = recorded_pids();
    EXPECT_LE(ids.size(), 1u);
    for (platform::Process_Id id : ids) EXPECT_TRUE(eventually([&] { return process_gone(id); })) << id;
    EXPECT_EQ(converter.resident_pid(), 0u);
    EXPECT_FALSE(fs::exists(dir_ / "h.pdf"));
  }
}

TEST_F(PlatenStandIn, LibreOfficeIsFoundOrNamedForInstalling) {
  // The environment variable wins over every other place.
  set("TRAVO_SOFFICE", PLATEN_STAND_IN);
  Options options = stand_in_options();
  options.soffice.clear();
  Observed_Converter converter(options);
  converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "env.pdf"), false);
  EXPECT_TRUE(is_stand_in_pdf(dir_ / "env.pdf"));

  set("TRAVO_SOFFICE", platform::utf8_string(dir_ / "nowhere" / "soffice"));
  std::string error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "x.pdf"), false); });
  EXPECT_THAT(error, HasSubstr("LibreOffice not found"));
  EXPECT_THAT(error, HasSubstr("TRAVO_SOFFICE"));
  set("TRAVO_SOFFICE", std::nullopt);

#ifdef _WIN32
  // Where the installer puts it: %ProgramFiles%\LibreOffice\program.
  const fs::path program_files = dir_ / platform::utf8_path("Program Files 程式");
  fs::create_directories(program_files / "LibreOffice" / "program");
  fs::copy_file(PLATEN_STAND_IN, program_files / "LibreOffice" / "program" / "soffice.exe");
  set("ProgramFiles", platform::utf8_string(program_files));
  set("ProgramFiles(x86)", std::nullopt);
  if (!platform::registered_app_path("soffice.exe")) {
    EXPECT_EQ(detail::find_soffice(""), program_files / "LibreOffice" / "program" / "soffice.exe");
    converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "pf.pdf"), false);
    EXPECT_TRUE(is_stand_in_pdf(dir_ / "pf.pdf"));

    // Nowhere at all, and no Word either (this prefix has none): the
    // message names both and says what to install.
    set("ProgramFiles", platform::utf8_string(dir_ / "empty"));
    set("PATH", platform::utf8_string(dir_ / "empty"));
    error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "x.pdf"), false); });
    EXPECT_THAT(error, HasSubstr("neither Microsoft Word nor LibreOffice is installed"));
    EXPECT_THAT(error, HasSubstr("Word.Application is not registered"));
    EXPECT_THAT(error, HasSubstr("LibreOffice not found"));
    EXPECT_THAT(error, HasSubstr("install LibreOffice from https://www.libreoffice.org"));
  }
#endif
}

// TRAVO_PDF_CONVERTER picks the program; one that cannot convert here, or a
// name it does not know, is refused with the reason.
TEST_F(PlatenStandIn, ConverterSettingIsFollowedOrRefused) {
  Observed_Converter converter(stand_in_options());
  set("TRAVO_PDF_CONVERTER", "LibreOffice");
  converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "lo.pdf"), false);
  EXPECT_TRUE(is_stand_in_pdf(dir_ / "lo.pdf"));

  // No Word here: not on Linux, and not registered in this Wine prefix.
  set("TRAVO_PDF_CONVERTER", "word");
  std::string error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "w.pdf"), false); });
  EXPECT_THAT(error, HasSubstr("TRAVO_PDF_CONVERTER=word asks for Microsoft Word, but Microsoft Word is"));
  EXPECT_FALSE(fs::exists(dir_ / "w.pdf"));

  set("TRAVO_PDF_CONVERTER", "acrobat");
  error = error_of([&] { converter.convert(platform::utf8_string(docx_), platform::utf8_string(dir_ / "a.pdf"), false); });
  EXPECT_THAT(error, HasSubstr("TRAVO_PDF_CONVERTER is \"acrobat\"; it takes word or libreoffice"));
}

TEST(PlatenFileUrl, PathsBecomeSpaceFreeFileUrls) {
#ifdef _WIN32
  EXPECT_EQ(detail::file_url(platform::utf8_path("C:/a b/報.docx")), "file:///C:/a%20b/%E5%A0%B1.docx");
  EXPECT_EQ(detail::file_url(platform::utf8_path("C:\\dir\\x.pdf")), "file:///C:/dir/x.pdf");
  EXPECT_EQ(detail::file_url(platform::utf8_path("\\\\server\\share\\x.pdf")), "file://server/share/x.pdf");
#else
  EXPECT_EQ(detail::file_url(platform::utf8_path("/tmp/a b/報.docx")), "file:///tmp/a%20b/%E5%A0%B1.docx");
  EXPECT_EQ(detail::file_url(platform::utf8_path("/tmp/x:y/./z")), "file:///tmp/x%3Ay/z");
#endif
}

// The real thing, where it is installed.
TEST(PlatenRealOffice, ConvertsTheTestDocument) {
  try {
    detail::find_soffice("");
  } catch (const std::runtime_error&) {
#ifdef _WIN32
    GTEST_SKIP() << "LibreOffice for Windows is not installed";
#else
    GTEST_SKIP() << "LibreOffice is not installed";
#endif
  }
  const fs::path dir = platform::create_private_folder("platen-real-");
  const fs::path input =
      travo::platform::utf8_path(TRAVO_SOURCE_DIR "/corvana通用模組/Platen_Model/testdata/commented.docx");
  {
    Observed_Converter converter;
    converter.convert(platform::utf8_string(input), platform::utf8_string(dir / platform::utf8_path("單次 a.pdf")), false);
    converter.convert(platform::utf8_string(input), platform::utf8_string(dir / platform::utf8_path("常駐 b.pdf")), true);
  }
  EXPECT_EQ(read_file(dir / platform::utf8_path("單次 a.pdf")).rfind("%PDF-", 0), 0u);
  EXPECT_EQ(read_file(dir / platform::utf8_path("常駐 b.pdf")).rfind("%PDF-", 0), 0u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace platen_model
