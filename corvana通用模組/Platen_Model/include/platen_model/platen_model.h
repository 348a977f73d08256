// Platen_Model: turns a finished Word document (.docx) into a PDF, through
// Microsoft Word on Windows where it is installed, else through LibreOffice
// running headless.
//
//   platen_model::Platen_Model converter;
//   converter.convert("/reports/r.docx", "/reports/r.pdf", true);
//
// When convert() returns, the PDF is complete at the output path; it is
// written to a temporary file and renamed into place, so no reader ever
// sees half a PDF. Every failure throws std::runtime_error with a message
// naming the file and the cause (the converting program's own words are
// appended when it has anything to say); the input document is left as it
// is.
//
// Which program converts: Options::converter, else the environment variable
// TRAVO_PDF_CONVERTER ("word" or "libreoffice"), else Microsoft Word where
// its automation class (the ProgID Word.Application) is registered, which
// only Windows has, else LibreOffice. When neither is installed, the
// message names both.
//
// Each converter owns a private folder under the temporary directory that
// holds the PDF on its way, LibreOffice's user profiles and its temporary
// files. It therefore works while the user has LibreOffice open, and two
// converters never share a profile. The folder is removed with the
// converter.
//
// Through Word (see src/word.h): the converter starts a Word of its own
// (never the user's: no GetActiveObject, no Quit of a Word it did not
// start, none of the user's documents touched), hidden and without alerts,
// opens the document read-only and exports it. keep_active = true keeps
// that Word for the next call, so one Word serves all the documents of a
// job; it quits with the converter, and dies with the program that owns
// it. keep_active = false quits it after the document. A Word that died is
// replaced and the document retried once; one that does not start within
// Options::word_start_timeout, or does not finish a document within
// Options::timeout (a dialog, a hang), is killed with its process tree.
//
// Through LibreOffice: keep_active = false runs one `soffice --convert-to
// pdf` per call. keep_active = true converts through one resident headless
// LibreOffice that the first such call starts (that call includes the
// start-up) and later calls reuse. The office is driven over UNO by one
// long-lived helper process, platen_uno_bridge.py (Debian's python3-uno),
// which is installed beside the executables. An office found dead is
// restarted; one lost during a conversion is restarted and the conversion
// retried once. If the office is lost again, cannot be restarted, or the
// helper itself dies on the document, that document is converted by one
// `soffice --convert-to` run of its own instead (so the call still delivers
// the PDF), and the next call starts the resident office afresh. The
// resident office and its helper end with the converter; if the owning
// process dies without running the destructor, the helper sees its channel
// close, ends the office itself and removes the private folder. (On Windows
// office and helper die with the owning process at once, being in its
// kill-on-close job objects; the private folder then stays in the temporary
// folder.) Every wait is bounded by Options::timeout; a conversion that
// exceeds it has its LibreOffice killed and throws.
//
// Thread safety: one conversion runs at a time per converter; concurrent
// calls on the same converter are serialised. Separate converters run fully
// in parallel.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "travo/platform/process.h"

namespace platen_model {

// What a converter starts and stops, for tests and diagnostics. The calls
// come from the converter's own threads, one at a time, and must not call
// back into the converter. Every method does nothing unless overridden.
class Observer {
 public:
  virtual ~Observer() = default;

  // The converter's private folder was created (by its first conversion).
  virtual void private_folder_created(const std::filesystem::path& /*folder*/) {}

  // A resident LibreOffice was started: `launcher` is the process id of its
  // launcher; killing the launcher's process tree (its process group on
  // Linux) takes the whole office down.
  virtual void office_started(travo::platform::Process_Id /*launcher*/) {}

  // That office was ended, or found gone and let go.
  virtual void office_stopped(travo::platform::Process_Id /*launcher*/) {}

  // A Word was started (Windows); `pid` is its process.
  virtual void word_started(travo::platform::Process_Id /*pid*/) {}

  // That Word quit, died or was killed, and is gone with its process tree.
  virtual void word_stopped(travo::platform::Process_Id /*pid*/) {}
};

// The program that converts.
enum class Converter {
  automatic,    // TRAVO_PDF_CONVERTER if set, else Word where registered, else LibreOffice
  word,         // Microsoft Word (Windows)
  libreoffice,  // LibreOffice
};

struct Options {
  Converter converter = Converter::automatic;

  // The LibreOffice launcher. Empty: the environment variable
  // TRAVO_SOFFICE, else where LibreOffice installs itself. On Windows: the
  // App Paths entry of soffice.exe in the registry (HKLM, then HKCU), then
  // %ProgramFiles%\LibreOffice\program\soffice.exe and the same under
  // %ProgramFiles(x86)%, then soffice.exe on PATH. Elsewhere: `soffice` on
  // PATH, else /usr/bin/soffice, else /usr/lib/libreoffice/program/soffice.
  std::string soffice;

  // The Python that runs the UNO helper; it needs the `uno` module. Empty:
  // LibreOffice's own python.exe beside soffice.exe on Windows,
  // /usr/bin/python3 (with Debian's python3-uno) elsewhere.
  std::string python;

  // The UNO helper script. Empty: platen_uno_bridge.py beside the running
  // executable.
  std::string bridge_script;

  // Upper bound for each conversion, and for LibreOffice's start-up.
  std::chrono::milliseconds timeout{std::chrono::seconds(120)};

  // Upper bound for starting Word, until it has answered the first calls.
  std::chrono::milliseconds word_start_timeout{std::chrono::seconds(120)};

  // Where the private folder is created. Empty: the system's temporary
  // folder ($TMPDIR, else /tmp; on Windows the user's temporary folder).
  std::filesystem::path temp_root;

  // Told what the converter starts and stops; may be null. Not owned: it
  // must outlive the converter.
  Observer* observer = nullptr;
};

class Platen_Model {
 public:
  Platen_Model();
  explicit Platen_Model(Options options);
  Platen_Model(const Platen_Model&) = delete;
  Platen_Model& operator=(const Platen_Model&) = delete;

  // Quits a kept Word, ends the resident office and its helper, and removes
  // the private folder.
  ~Platen_Model();

  // Converts `input_docx` to `output_pdf`, replacing any file there; the
  // output's folder is created if missing. The input must exist and be a
  // .docx (ZIP) package; that is checked before any program is started.
  void convert(const std::string& input_docx, const std::string& output_pdf, bool keep_active);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platen_model
