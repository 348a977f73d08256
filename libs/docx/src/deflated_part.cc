#include "deflated_part.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "travo/docx/error.h"
#include "xml_util.h"

namespace travo::docx::detail {
namespace {

constexpr size_t kOutChunk = 64 * 1024;

class Deflater {
 public:
  explicit Deflater(int level) {
    // Negative window bits: a raw stream, as a ZIP entry stores it.
    if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw Error("cannot start compressing an XML part");
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // False when zlib fails or memory runs out; never throws, since it runs
  // under libxml2's C frames.
  bool feed(std::string_view chunk, bool finish) noexcept {
    try {
      part_.size += chunk.size();
      // zlib's lengths are uInt: a chunk is a few kilobytes, but stay safe.
      do {
        const size_t take = std::min<size_t>(chunk.size(), 1u << 30);
        // crc32 with a null buffer answers the initial value: skip empty chunks.
        if (take > 0)
          part_.crc = static_cast<std::uint32_t>(crc32(
              part_.crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(take)));
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        z_.avail_in = static_cast<uInt>(take);
        chunk.remove_prefix(take);
        const int flush = finish && chunk.empty() ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
          // Into a scratch buffer: growing the string for each of libxml2's
          // few-kilobyte chunks would zero-fill far more than zlib writes.
          z_.next_out = out_.data();
          z_.avail_out = static_cast<uInt>(out_.size());
          rc = deflate(&z_, flush);
          if (rc == Z_STREAM_ERROR) return false;
          part_.compressed.append(reinterpret_cast<const char*>(out_.data()),
                                  out_.size() - z_.avail_out);
        } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
      } while (!chunk.empty());
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  Deflated_Part take() {
    part_.compressed.shrink_to_fit();
    return std::move(part_);
  }

 private:
  z_stream z_{};
  std::vector<Bytef> out_ = std::vector<Bytef>(kOutChunk);
  Deflated_Part part_;
};

struct Source_State {
  const Deflated_Part* part;
  size_t offset = 0;
  zip_error_t error;
};

zip_int64_t source_callback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* state = static_cast<Source_State*>(userdata);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      state->offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const std::string& bytes = state->part->compressed;
      const size_t n = std::min<zip_uint64_t>(len, bytes.size() - state->offset);
      std::memcpy(data, bytes.data() + state->offset, n);
      state->offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &state->error);
      if (!st) return -1;
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                  ZIP_STAT_ENCRYPTION_METHOD;
      st->size = state->part->size;
      st->comp_size = state->part->compressed.size();
      st->comp_method = ZIP_CM_DEFLATE;
      st->crc = state->part->crc;
      st->encryption_method = ZIP_EM_NONE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&state->error, data, len);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&state->error);
      delete state;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                            -1);
    default:
      zip_error_set(&state->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

Deflated_Part deflate_xml(xmlDocPtr doc, int level) {
  Deflater deflater(level);
  const bool ok = serialize_xml(doc, [&deflater](std::string_view chunk) {
    return deflater.feed(chunk, false);
  });
  if (!ok || !deflater.feed({}, true)) throw Error("could not serialise an XML part");
  return deflater.take();
}

zip_source_t* deflated_source(zip_t* archive, const Deflated_Part& part) {
  auto* state = new Source_State{&part, 0, {}};
  zip_error_init(&state->error);
  zip_source_t* source = zip_source_function(archive, source_callback, state);
  if (!source) {
    zip_error_fini(&state->error);
    delete state;
  }
  return source;
}

}  // namespace travo::docx::detail
