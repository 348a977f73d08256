// Converting through Microsoft Word's automation interface, on Windows.
//
// TRAVO drives a Word of its own and never touches one the user has open:
// it reads the command COM would run for Word's automation class (the
// LocalServer32 entry of the CLSID that the ProgID Word.Application names),
// starts that program itself with "-Embedding" appended, as COM does, as a
// travo::platform::Process (a kill-on-close Job object: Word and all it
// starts end with the converter, or with TRAVO if it dies), waits until the
// program is ready for input, and then connects to the class object that
// it registered, with CoCreateInstance (CLSCTX_LOCAL_SERVER). Word registers
// its class object for a single use, so no other client shares it, and it
// starts a new process for every creation, so the user's Word is not the
// one answering. Starts are serialised across TRAVO's converters (a named
// mutex), so that two converters never take each other's Word. As a check,
// the application's caption is set to a unique text; when a top-level
// window carries it, that window must belong to the process TRAVO started,
// or the connection is dropped (without Quit) and the start fails.
//
// All COM calls run on one thread of the converter's own, a single-threaded
// apartment, through late-bound IDispatch (names resolved with
// GetIDsOfNames, named arguments): DisplayAlerts off, Visible false,
// Documents.Open(FileName, ConfirmConversions false, ReadOnly true,
// AddToRecentFiles false), Document.ExportAsFixedFormat(OutputFileName,
// ExportFormat 17 = PDF), Document.Close(SaveChanges 0), Application.Quit.
// A call that a busy Word rejects (RPC_E_CALL_REJECTED,
// RPC_E_SERVERCALL_RETRYLATER) is retried until the conversion's time runs
// out: by the thread's message filter where COM consults it (Windows), and
// explicitly where COM hands the rejection back (Wine).
//
// A Word that died (RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED and the
// like) is replaced and the document retried once. A start that does not
// finish within Word_Setup::start_timeout, or a document that does not
// within Word_Setup::timeout (Word showing a dialog, a hang), has the Word
// TRAVO started killed with its whole process tree and throws; the next
// conversion starts a new Word.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platen_model/platen_model.h"

namespace platen_model::detail {

// Whether this system converts through Word at all (Windows only).
bool word_supported();

// Why Word cannot convert here ("Microsoft Word is not installed
// (Word.Application is not registered)"), or std::nullopt when it can.
std::optional<std::string> word_unavailable();

struct Word_Setup {
  // Upper bound for one document, from Open to Close.
  std::chrono::milliseconds timeout;
  // Upper bound for starting Word until it has answered the first calls.
  std::chrono::milliseconds start_timeout;
  // Told when a Word starts and stops; may be null.
  Observer* observer;
};

// One Word at a time, started on demand.
//
// Not thread-safe: the owner serialises calls.
class Word {
 public:
  explicit Word(Word_Setup setup);
  Word(const Word&) = delete;
  Word& operator=(const Word&) = delete;
  // Quits a Word kept for later documents (killing its tree if it does not
  // end) and ends the COM thread.
  ~Word();

  // Has Word write the document `input` as the PDF `target` (absolute
  // paths). With `keep_active` Word stays for the next call; otherwise it
  // quits after this document. Throws std::runtime_error with Word's own
  // words where it gave any. The caller checks what was written at
  // `target`.
  void convert(const std::filesystem::path& input, const std::filesystem::path& target, bool keep_active);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platen_model::detail
