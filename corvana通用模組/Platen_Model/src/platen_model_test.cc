// Conversions through the real LibreOffice; PDFs are read back with
// pdftotext. LibreOffice start-ups dominate the run time, so checks that can
// share one office share one test.
#include "platen_model/platen_model.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "office.h"
#include "platen_model/pdf_tools.h"
#include "platen_model/test_support.h"
#include "travo/platform/eventually.h"
#include "travo/platform/paths.h"
#include "travo/platform/small_tmpfs.h"
#include "travo/platform/utf8.h"

namespace platen_model {
namespace {

namespace fs = std::filesystem;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using test_support::command_output;
using test_support::error_of;
using test_support::Observed_Converter;
using test_support::pdf_pages;
using test_support::pdf_text;
using travo::platform::test_support::eventually;

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

bool is_pid_dir(const fs::directory_entry& entry) {
  std::string name = entry.path().filename().string();
  return name.find_first_not_of("0123456789") == std::string::npos;
}

// A /proc file, or "" once its process is gone (a read then fails with
// ESRCH, which a stream would turn into an exception).
std::string read_proc(const fs::path& path) {
  std::string out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

// Processes (not zombies) whose command line mentions `needle`.
int processes_mentioning(const std::string& needle) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (!is_pid_dir(entry)) continue;
    const std::string cmdline = read_proc(entry.path() / "cmdline");
    if (!cmdline.empty() && cmdline.find(needle) != std::string::npos) ++count;
  }
  return count;
}

// The office process proper: the child of the launcher.
pid_t child_of(pid_t parent) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (!is_pid_dir(entry)) continue;
    const std::string stat = read_proc(entry.path() / "stat");
    auto close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) continue;
    char state;
    int ppid;
    if (std::sscanf(stat.c_str() + close_paren + 1, " %c %d", &state, &ppid) == 2 && ppid == parent) {
      return std::atoi(entry.path().filename().c_str());
    }
  }
  return 0;
}

bool gone(pid_t pid) {
  const std::string stat = read_proc("/proc/" + std::to_string(pid) + "/stat");
  auto close_paren = stat.rfind(')');
  return close_paren == std::string::npos || stat[close_paren + 2] == 'Z';
}

// SIGKILL is delivered at once but the process may take a moment to go.
bool gone_soon(pid_t pid) {
  return eventually([&] { return gone(pid); });
}

// No process is left whose command line mentions `needle`; processes just
// killed may take a moment to go.
bool none_left_mentioning(const std::string& needle) {
  return eventually([&] { return processes_mentioning(needle) == 0; });
}

class PlatenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/platen-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = new fs::path(pattern);
    const fs::path script = *dir_ / "make_docx.py";
    write_file(script,
               "import sys, docx, zipfile\n"
               "d = docx.Document()\n"
               "d.add_heading('Quarterly report', 0)\n"
               "d.add_paragraph(sys.argv[2])\n"
               "d.add_page_break()\n"
               "d.add_paragraph('Second page of ' + sys.argv[2])\n"
               "d.save(sys.argv[1])\n"
               "with zipfile.ZipFile(sys.argv[3], 'w') as z:\n"
               "    z.writestr('hello.txt', 'a zip that holds no document')\n");
    std::string cmd = "/usr/bin/python3 " + test_support::shell_quoted(script) + " " + test_support::shell_quoted(*dir_ / "report.docx") +
                      " 'Platen marker 報告 alpha' " + test_support::shell_quoted(*dir_ / "not_a_document.docx");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "python3-docx is needed to make the test document";
    write_file(*dir_ / "plain.docx", "just text, not a package\n");
  }

  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
  }

  static fs::path dir() { return *dir_; }
  static fs::path report() { return *dir_ / "report.docx"; }

  // A stand-in for soffice running `body` as a shell script.
  static std::string fake_soffice(const std::string& name, const std::string& body) {
    fs::path p = *dir_ / name;
    write_file(p, "#!/bin/sh\n" + body);
    fs::permissions(p, fs::perms::owner_all);
    return p.string();
  }

  static fs::path* dir_;
};

fs::path* PlatenTest::dir_ = nullptr;

TEST_F(PlatenTest, ConvertsOnceWithoutResidentOffice) {
  Observed_Converter converter;
  fs::path out = dir() / "new folder" / "單次 report.pdf";
  write_file(out.parent_path() / "placeholder", "");  // the folder exists
  write_file(out, "stale content");
  converter.convert(report().string(), out.string(), false);

  std::string text = pdf_text(out);
  EXPECT_THAT(text, HasSubstr("Platen marker 報告 alpha"));
  EXPECT_THAT(text, HasSubstr("Second page of"));
  EXPECT_EQ(pdf_pages(out), 2);
  EXPECT_EQ(converter.resident_pid(), 0);
  EXPECT_EQ(converter.office_starts(), 0);

  // Only the PDF is left in the output folder: no temporary files.
  int files = 0;
  for (const auto& e : fs::directory_iterator(out.parent_path())) files += e.path().filename() != "placeholder";
  EXPECT_EQ(files, 1);
}

TEST_F(PlatenTest, ResidentOfficeIsReusedRestartedOnceAndEndedWithConverter) {
  auto open_fds = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
  const auto fds_before = open_fds();
  fs::path private_dir;
  pid_t first_pid;
  {
    Observed_Converter converter;
    // Warm conversions reuse the office started by the first one; a missing
    // output folder is created.
    converter.convert(report().string(), (dir() / "warm" / "a.pdf").string(), true);
    first_pid = converter.resident_pid();
    ASSERT_GT(first_pid, 0);
    converter.convert(report().string(), (dir() / "warm" / "b c 報告.pdf").string(), true);
    converter.convert(report().string(), (dir() / "warm" / "a.pdf").string(), true);
    EXPECT_EQ(converter.resident_pid(), first_pid);
    EXPECT_EQ(converter.office_starts(), 1);
    EXPECT_THAT(pdf_text(dir() / "warm" / "b c 報告.pdf"), HasSubstr("Platen marker 報告 alpha"));
    EXPECT_EQ(pdf_pages(dir() / "warm" / "a.pdf"), 2);

    // A document LibreOffice cannot open fails on its own; the office stays.
    std::string error = error_of([&] {
      converter.convert((dir() / "not_a_document.docx").string(), (dir() / "warm" / "x.pdf").string(), true);
    });
    EXPECT_THAT(error, HasSubstr("not_a_document.docx"));
    EXPECT_THAT(error, HasSubstr("could not convert"));
    EXPECT_FALSE(fs::exists(dir() / "warm" / "x.pdf"));
    EXPECT_EQ(converter.resident_pid(), first_pid);
    converter.convert(report().string(), (dir() / "warm" / "after_error.pdf").string(), true);
    EXPECT_EQ(converter.office_starts(), 1);

    // The office process crashes: the next conversion restarts it once.
    pid_t office = child_of(first_pid);
    ASSERT_GT(office, 0);
    ASSERT_EQ(kill(office, SIGKILL), 0);
    ASSERT_TRUE(gone_soon(office));
    fs::remove(dir() / "warm" / "a.pdf");
    converter.convert(report().string(), (dir() / "warm" / "a.pdf").string(), true);
    EXPECT_THAT(pdf_text(dir() / "warm" / "a.pdf"), HasSubstr("Platen marker"));
    EXPECT_EQ(converter.office_starts(), 2);
    EXPECT_NE(converter.resident_pid(), first_pid);

    // The same happens when the whole office goes away between conversions.
    const pid_t second_pid = converter.resident_pid();
    kill(-second_pid, SIGKILL);
    ASSERT_TRUE(gone_soon(second_pid));
    converter.convert(report().string(), (dir() / "warm" / "c.pdf").string(), true);
    EXPECT_EQ(converter.office_starts(), 3);

    private_dir = converter.private_dir();
    ASSERT_FALSE(private_dir.empty());
    EXPECT_GE(processes_mentioning(private_dir.string()), 2);  // launcher and office
  }
  EXPECT_TRUE(none_left_mentioning(private_dir.string()));
  EXPECT_TRUE(gone_soon(first_pid));
  EXPECT_FALSE(fs::exists(private_dir));
  EXPECT_EQ(open_fds(), fds_before);

  int leftovers = 0;
  for (const auto& e : fs::directory_iterator(dir() / "warm")) leftovers += e.path().extension() != ".pdf";
  EXPECT_EQ(leftovers, 0);
}

// Word comments anchored in the body make LibreOffice lay out its comment
// sidebar; in the resident office that once took the office down.
TEST_F(PlatenTest, DocumentWithCommentsConvertsInTheResidentOffice) {
  const fs::path commented =
      travo::platform::utf8_path(TRAVO_SOURCE_DIR "/corvana通用模組/Platen_Model/testdata/commented.docx");
  Observed_Converter converter;
  converter.convert(commented.string(), (dir() / "commented.pdf").string(), true);
  const pid_t office = converter.resident_pid();
  EXPECT_GT(office, 0);
  std::string text = pdf_text(dir() / "commented.pdf");
  EXPECT_THAT(text, HasSubstr("Commented marker first sentence of the body."));
  EXPECT_THAT(text, HasSubstr("Second paragraph 註解 beta ends here."));

  // The same office serves it again, and other documents after it.
  converter.convert(commented.string(), (dir() / "commented2.pdf").string(), true);
  converter.convert(report().string(), (dir() / "after_comments.pdf").string(), true);
  EXPECT_THAT(pdf_text(dir() / "commented2.pdf"), HasSubstr("Commented marker"));
  EXPECT_THAT(pdf_text(dir() / "after_comments.pdf"), HasSubstr("Platen marker"));
  EXPECT_EQ(converter.resident_pid(), office);
  EXPECT_EQ(converter.office_starts(), 1);
}

// A stand-in for the UNO helper: it relays between the converter and the
// real helper, and when a request names a document containing `marker` it
// either kills the office first ("kill-office") or dies itself with the
// real helper ("die"): a document that takes the resident office down.
std::string relaying_helper(const fs::path& dir, const std::string& mode, const std::string& marker) {
  const fs::path real = travo::platform::executable_dir() / "platen_uno_bridge.py";
  if (!fs::is_regular_file(real)) return "";
  const fs::path p = dir / ("relay_" + mode + ".py");
  write_file(p, "import os, signal, subprocess, sys\n"
                "REAL, MODE, MARKER = '" + real.string() + "', '" + mode + "', b'" + marker + "'\n"
                "office_pgid = int(sys.argv[2])\n"
                "helper = subprocess.Popen([sys.executable, '-I', REAL] + sys.argv[1:],\n"
                "                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)\n"
                "requests, replies = sys.stdin.buffer, helper.stdout\n"
                "converter = os.fdopen(os.dup(1), 'wb')\n"
                "os.dup2(2, 1)\n"
                "def relay_reply():\n"
                "    line = replies.readline()\n"
                "    if not line:\n"
                "        os._exit(1)\n"
                "    converter.write(line)\n"
                "    converter.flush()\n"
                "relay_reply()\n"
                "for request in iter(requests.readline, b''):\n"
                "    if MARKER in request and MODE == 'kill-office':\n"
                "        os.killpg(office_pgid, signal.SIGKILL)\n"
                "    elif MARKER in request:\n"
                "        helper.kill()\n"
                "        os._exit(1)\n"
                "    helper.stdin.write(request)\n"
                "    helper.stdin.flush()\n"
                "    relay_reply()\n"
                "helper.stdin.close()\n"
                "helper.wait()\n");
  return p.string();
}

TEST_F(PlatenTest, DocumentThatTakesTheResidentOfficeDownStillGetsItsPdf) {
  const fs::path poison = dir() / "poison.docx";
  fs::copy_file(report(), poison, fs::copy_options::overwrite_existing);
  for (const std::string mode : {"kill-office", "die"}) {
    SCOPED_TRACE(mode);
    Options options;
    options.bridge_script = relaying_helper(dir(), mode, "poison");
    ASSERT_FALSE(options.bridge_script.empty()) << "platen_uno_bridge.py not found beside the test";
    Observed_Converter converter(options);
    converter.convert(report().string(), (dir() / "before.pdf").string(), true);
    ASSERT_GT(converter.resident_pid(), 0);

    const fs::path out = dir() / ("poison-" + mode + ".pdf");
    EXPECT_EQ(error_of([&] { converter.convert(poison.string(), out.string(), true); }), "");
    EXPECT_THAT(pdf_text(out), HasSubstr("Platen marker 報告 alpha"));
    EXPECT_EQ(pdf_pages(out), 2);
    // A lost office is restarted and the document retried once before the
    // one-shot run; a helper that dies sends it there at once.
    EXPECT_EQ(converter.office_starts(), mode == "kill-office" ? 2 : 1);
    EXPECT_EQ(converter.resident_pid(), 0);
    EXPECT_TRUE(none_left_mentioning(converter.private_dir().string()));

    // The next document is served by a resident office again.
    const int starts = converter.office_starts();
    converter.convert(report().string(), (dir() / "after.pdf").string(), true);
    EXPECT_THAT(pdf_text(dir() / "after.pdf"), HasSubstr("Platen marker"));
    EXPECT_GT(converter.resident_pid(), 0);
    EXPECT_EQ(converter.office_starts(), starts + 1);
  }
}

TEST_F(PlatenTest, OfficeDoesNotOutliveACrashedOwner) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  pid_t owner = fork();
  ASSERT_GE(owner, 0);
  if (owner == 0) {
    close(channel[0]);
    auto* converter = new Observed_Converter();  // never destroyed: the owner dies
    std::string line;
    try {
      converter->convert(report().string(), (dir() / "crash.pdf").string(), true);
      line = converter->private_dir().string() + "\n";
    } catch (const std::exception& e) {
      line = std::string("error ") + e.what() + "\n";
    }
    [[maybe_unused]] ssize_t n = write(channel[1], line.data(), line.size());
    raise(SIGKILL);
  }
  close(channel[1]);
  std::string line;
  char c;
  while (read(channel[0], &c, 1) == 1 && c != '\n') line += c;
  close(channel[0]);
  waitpid(owner, nullptr, 0);
  ASSERT_EQ(line.rfind("/", 0), 0u) << line;

  const fs::path private_dir = line;
  EXPECT_TRUE(none_left_mentioning(private_dir.string()));
  EXPECT_TRUE(eventually([&] { return !fs::exists(private_dir); }));
}

TEST_F(PlatenTest, TwoConvertersRunSideBySideWithOwnProfiles) {
  fs::path dirs[2];
  pid_t pids[2] = {0, 0};
  std::string errors[2];
  {
    Observed_Converter a, b;
    Observed_Converter* converters[2] = {&a, &b};
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
      threads[i] = std::thread([&, i] {
        errors[i] = error_of([&] {
          for (int round = 0; round < 2; ++round) {
            converters[i]->convert(report().string(), (dir() / ("side" + std::to_string(i) + ".pdf")).string(), true);
          }
        });
        pids[i] = converters[i]->resident_pid();
        dirs[i] = converters[i]->private_dir();
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "");
    EXPECT_NE(pids[0], pids[1]);
    EXPECT_NE(dirs[0], dirs[1]);
    EXPECT_EQ(a.office_starts(), 1);
    EXPECT_EQ(b.office_starts(), 1);
    EXPECT_THAT(pdf_text(dir() / "side0.pdf"), HasSubstr("Platen marker"));
    EXPECT_THAT(pdf_text(dir() / "side1.pdf"), HasSubstr("Platen marker"));
  }
  EXPECT_TRUE(none_left_mentioning(dirs[0].string()));
  EXPECT_TRUE(none_left_mentioning(dirs[1].string()));
}

TEST_F(PlatenTest, BadInputsFailBeforeAnythingStarts) {
  for (bool keep_active : {false, true}) {
    Observed_Converter converter;
    std::string missing = (dir() / "no such.docx").string();
    std::string error = error_of([&] { converter.convert(missing, (dir() / "m.pdf").string(), keep_active); });
    EXPECT_THAT(error, HasSubstr(missing));
    EXPECT_THAT(error, HasSubstr("not found"));

    error = error_of([&] {
      converter.convert((dir() / "plain.docx").string(), (dir() / "p.pdf").string(), keep_active);
    });
    EXPECT_THAT(error, HasSubstr("plain.docx"));
    EXPECT_THAT(error, HasSubstr("not a Word .docx document"));

    error = error_of([&] { converter.convert(dir().string(), (dir() / "d.pdf").string(), keep_active); });
    EXPECT_THAT(error, HasSubstr("not a regular file"));

    EXPECT_TRUE(converter.private_dir().empty());
    EXPECT_EQ(converter.office_starts(), 0);
    EXPECT_FALSE(fs::exists(dir() / "m.pdf"));
    EXPECT_FALSE(fs::exists(dir() / "p.pdf"));
  }
}

// The office reads a font configuration of the converter's own, which maps
// the Windows fonts of report templates to the closest free fonts; the
// process running the converter keeps the system's configuration.
TEST_F(PlatenTest, OfficeGetsTheConvertersFontConfiguration) {
  const fs::path seen = dir() / "fontconfig_file.txt";
  Options options;
  options.soffice = fake_soffice("fc_soffice", "printf '%s' \"$FONTCONFIG_FILE\" > " + test_support::shell_quoted(seen) + "\nexit 0\n");
  const char* before = std::getenv("FONTCONFIG_FILE");
  const std::string ours = before ? before : "";
  Observed_Converter converter(options);
  EXPECT_THAT(error_of([&] { converter.convert(report().string(), (dir() / "fc.pdf").string(), false); }),
              HasSubstr("produced no PDF"));
  std::ifstream in(seen);
  const std::string config((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(fs::path(config), converter.private_dir() / "fonts.conf");
  ASSERT_TRUE(fs::exists(config));
  EXPECT_EQ(std::string(std::getenv("FONTCONFIG_FILE") ? std::getenv("FONTCONFIG_FILE") : ""), ours);

  if (command_output("command -v fc-match").empty()) GTEST_SKIP() << "fc-match (fontconfig) missing";
  // fc-match reads "-" in a name as the start of a size: escaped.
  const std::pair<const char*, const char*> expected[] = {
      {"標楷體", "AR PL UKai TW"},           {"DFKai\\-SB", "AR PL UKai TW"},
      {"新細明體", "AR PL UMing TW"},        {"PMingLiU", "AR PL UMing TW"},
      {"細明體", "AR PL UMing TW"},          {"MingLiU", "AR PL UMing TW"},
      {"Microsoft JhengHei", "Noto Sans CJK TC"}, {"微軟正黑體", "Noto Sans CJK TC"},
      {"Calibri", "Carlito"},               {"Times New Roman", "Liberation Serif"},
      {"Arial", "Liberation Sans"}};
  for (const auto& [family, substitute] : expected) {
    // Japanese first among the languages asked for: the mapping must win
    // over a better language match.
    for (const char* lang : {"", ":lang=ja"}) {
      EXPECT_EQ(command_output("FONTCONFIG_FILE=" + test_support::shell_quoted(fs::path(config)) + " fc-match -f '%{family[0]}' '" + family + lang + "'"),
                substitute)
          << family << lang << " (scripts/setup.sh installs the fonts)";
    }
  }
  // Other families are left to the system's rules.
  EXPECT_EQ(command_output("FONTCONFIG_FILE=" + test_support::shell_quoted(fs::path(config)) + " fc-match -f '%{family[0]}' 'sans-serif:lang=zh-tw'"),
            command_output("fc-match -f '%{family[0]}' 'sans-serif:lang=zh-tw'"));
}

TEST_F(PlatenTest, MissingLibreOfficeIsReportedClearly) {
  for (bool keep_active : {false, true}) {
    Options options;
    options.soffice = (dir() / "nowhere" / "soffice").string();
    Observed_Converter converter(options);
    std::string error = error_of([&] {
      converter.convert(report().string(), (dir() / "x.pdf").string(), keep_active);
    });
    EXPECT_THAT(error, HasSubstr("LibreOffice not found"));
    EXPECT_THAT(error, HasSubstr(options.soffice));
  }
}

TEST_F(PlatenTest, OfficeThatWritesNoPdfFailsWithItsOutput) {
  Options options;
  options.soffice = fake_soffice("quiet_soffice", "echo 'Error: source file could not be loaded' >&2\nexit 0\n");
  Observed_Converter converter(options);
  std::string error = error_of([&] { converter.convert(report().string(), (dir() / "q.pdf").string(), false); });
  EXPECT_THAT(error, HasSubstr("produced no PDF"));
  EXPECT_THAT(error, HasSubstr("source file could not be loaded"));
  EXPECT_FALSE(fs::exists(dir() / "q.pdf"));

  // The resident office exits at once: start-up fails with the same output.
  error = error_of([&] { converter.convert(report().string(), (dir() / "q.pdf").string(), true); });
  EXPECT_THAT(error, HasSubstr("exited during start-up"));
  EXPECT_THAT(error, HasSubstr("source file could not be loaded"));
  EXPECT_EQ(converter.resident_pid(), 0);
}

TEST_F(PlatenTest, HungOfficeIsKilledAtTheTimeout) {
  // The stand-in and the child it starts record their pids, then hang.
  const fs::path pids = dir() / "hung.pids";
  Options options;
  options.soffice = fake_soffice("hung_soffice", "sleep 300 & echo $! > '" + pids.string() +
                                                     "'\necho $$ >> '" + pids.string() + "'\nwait\n");
  options.timeout = std::chrono::milliseconds(1500);
  for (bool keep_active : {false, true}) {
    fs::remove(pids);
    Observed_Converter converter(options);
    std::string error = error_of([&] { converter.convert(report().string(), (dir() / "h.pdf").string(), keep_active); });
    EXPECT_THAT(error, keep_active ? HasSubstr("within") : HasSubstr("did not finish within 1.5 s"));
    std::ifstream in(pids);
    int pid, count = 0;
    while (in >> pid) {
      ++count;
      EXPECT_TRUE(gone_soon(pid)) << "pid " << pid << " outlived the time-out";
    }
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(none_left_mentioning("hung_soffice"));
    EXPECT_EQ(converter.resident_pid(), 0);
  }
}

// Stand-ins for the UNO helper and the office, to drive the converter's side
// of the protocol into its failure paths without a real office. The
// stand-in office idles when started resident and writes a token PDF when
// asked to --convert-to, as the fallback does.
TEST_F(PlatenTest, HelperFailuresAreBoundedAndCleanedUp) {
  auto helper = [](const std::string& name, const std::string& body) {
    fs::path p = dir() / name;
    write_file(p, "import os, sys, time\n" + body);
    return p.string();
  };
  auto is_stand_in_pdf = [](const fs::path& p) {
    std::ifstream in(p);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.rfind("%PDF-1.4\nstand-in", 0) == 0;
  };
  const std::string convert_to_or_idle =
      "outdir=; prev=; last=\n"
      "for a in \"$@\"; do [ \"$prev\" = --outdir ] && outdir=$a; prev=$a; last=$a; done\n"
      "if [ -z \"$outdir\" ]; then exec sleep 300; fi\n";
  Options options;
  options.soffice = fake_soffice("pdf_office", convert_to_or_idle +
                                                   "printf '%%PDF-1.4\\nstand-in\\n' > \"$outdir/$(basename \"$last\" "
                                                   ".docx).pdf\"\n");
  const std::string quiet_office = fake_soffice("no_pdf_office", convert_to_or_idle + "exit 0\n");
  options.timeout = std::chrono::seconds(60);  // the time-out is not what these cases are about
  const fs::path out = dir() / "f.pdf";

  // A helper that cannot load the UNO module says why.
  options.bridge_script = helper("no_uno.py", "os.write(1, b'fatal the Python UNO module is missing\\n')\n");
  {
    Observed_Converter converter(options);
    std::string error = error_of([&] { converter.convert(report().string(), out.string(), true); });
    EXPECT_THAT(error, HasSubstr("the Python UNO module is missing"));
    EXPECT_EQ(converter.resident_pid(), 0);
    EXPECT_TRUE(none_left_mentioning(converter.private_dir().string()));
  }

  // An office lost on every attempt is restarted once, then the document
  // goes to a one-shot run; the next document starts the office again.
  const std::string always_lost = helper("always_lost.py",
                                         "os.write(1, b'ready\\n')\n"
                                         "while os.read(0, 4096):\n"
                                         "    os.write(1, b'lost DisposedException: gone\\n')\n");
  options.bridge_script = always_lost;
  {
    Observed_Converter converter(options);
    fs::remove(out);
    EXPECT_EQ(error_of([&] { converter.convert(report().string(), out.string(), true); }), "");
    EXPECT_TRUE(is_stand_in_pdf(out));
    EXPECT_EQ(converter.office_starts(), 2);
    EXPECT_EQ(converter.resident_pid(), 0);
    EXPECT_TRUE(none_left_mentioning(options.bridge_script));

    EXPECT_EQ(error_of([&] { converter.convert(report().string(), out.string(), true); }), "");
    EXPECT_EQ(converter.office_starts(), 4);
  }

  // A helper that dies on a document sends it to a one-shot run at once,
  // without restarting the office first.
  options.bridge_script = helper("dies.py", "os.write(1, b'ready\\n')\nos.read(0, 4096)\nos._exit(1)\n");
  {
    Observed_Converter converter(options);
    fs::remove(out);
    EXPECT_EQ(error_of([&] { converter.convert(report().string(), out.string(), true); }), "");
    EXPECT_TRUE(is_stand_in_pdf(out));
    EXPECT_EQ(converter.office_starts(), 1);
    EXPECT_EQ(converter.resident_pid(), 0);
    EXPECT_TRUE(none_left_mentioning(converter.private_dir().string()));
  }

  // When the one-shot run fails as well, the error tells both stories and
  // no PDF appears.
  options.soffice = quiet_office;
  options.bridge_script = always_lost;
  {
    Observed_Converter converter(options);
    fs::remove(out);
    std::string error = error_of([&] { converter.convert(report().string(), out.string(), true); });
    EXPECT_THAT(error, HasSubstr("failed again after a restart"));
    EXPECT_THAT(error, HasSubstr("DisposedException: gone"));
    EXPECT_THAT(error, HasSubstr("a one-shot conversion after it failed too"));
    EXPECT_THAT(error, HasSubstr("produced no PDF"));
    EXPECT_FALSE(fs::exists(out));
  }

  // A conversion that never answers is ended at the time-out, helper and
  // office with it. (A start-up slowed past the time-out by a busy machine
  // ends the same way.)
  options.soffice = fake_soffice("idle_office", "sleep 300\n");
  options.timeout = std::chrono::milliseconds(1500);
  options.bridge_script = helper("silent.py", "os.write(1, b'ready\\n')\ntime.sleep(300)\n");
  {
    Observed_Converter converter(options);
    std::string error = error_of([&] { converter.convert(report().string(), out.string(), true); });
    EXPECT_THAT(error, AnyOf(HasSubstr("did not finish within 1.5 s"), HasSubstr("did not start within 1.5 s")));
    EXPECT_EQ(converter.resident_pid(), 0);
    EXPECT_TRUE(none_left_mentioning(converter.private_dir().string()));
    EXPECT_TRUE(none_left_mentioning(options.bridge_script));
    // Nothing half-written is left beside the output.
    for (const auto& e : fs::directory_iterator(dir())) EXPECT_NE(e.path().extension(), ".part") << e.path();
  }
}

// A later start takes any profile folder for a seeded one: on a full disk
// the seeding fails with its cause and leaves no folder behind.
TEST_F(PlatenTest, ProfileIsSeededWholeOrNotAtAll) {
  const fs::path mnt = dir() / "full";
  travo::platform::test_support::Small_Tmpfs disk(mnt, "64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string soffice = fake_soffice("seed_soffice", "exit 0\n");
  write_file(fs::path(soffice).parent_path() / "versionrc", "[Version]\nbuildid=0123abcd\n");
  write_file(mnt / "filler", std::string(256 * 1024, 'x'));  // as much as fits

  const std::string error = error_of([&] { detail::seed_profile(mnt / "profile", soffice); });
  EXPECT_THAT(error, HasSubstr("cannot prepare LibreOffice's profile"));
  EXPECT_THAT(error, HasSubstr("No space left on device"));
  for (const auto& e : fs::directory_iterator(mnt)) EXPECT_EQ(e.path().filename(), "filler");

  fs::remove(mnt / "filler");
  detail::seed_profile(mnt / "profile", soffice);
  std::ifstream buildid(mnt / "profile" / "user" / "extensions" / "buildid");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(buildid), {}), "0123abcd");
  EXPECT_TRUE(fs::file_size(mnt / "profile" / "user" / "registrymodifications.xcu") > 0);
}

TEST_F(PlatenTest, MissingUnoHelperStopsTheOffice) {
  Options options;
  options.soffice = fake_soffice("idle_soffice", "sleep 300\n");
  options.python = (dir() / "no-python3").string();
  Observed_Converter converter(options);
  std::string error = error_of([&] { converter.convert(report().string(), (dir() / "u.pdf").string(), true); });
  EXPECT_THAT(error, HasSubstr("cannot start the UNO helper"));
  EXPECT_THAT(error, HasSubstr("no-python3"));
  ASSERT_FALSE(converter.private_dir().empty());
  EXPECT_TRUE(none_left_mentioning(converter.private_dir().string()));
  EXPECT_EQ(converter.resident_pid(), 0);
}

}  // namespace
}  // namespace platen_model
