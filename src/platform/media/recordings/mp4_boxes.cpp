#include "platform/media/recordings/mp4_boxes.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dk::platform {
namespace {

uint64_t bigEndian(const std::string& bytes, size_t at, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

bool readExactly(const Mp4Read& read, int64_t offset, int64_t count, std::string* out) {
  out->assign(static_cast<size_t>(count), '\0');
  int64_t done = 0;
  while (done < count) {
    const int64_t n = read(offset + done, reinterpret_cast<uint8_t*>(out->data()) + done, count - done);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// One box inside `bytes`: its type and where its content lies.
struct Box {
  std::string_view type;
  size_t content = 0, end = 0;
};

// The boxes between `from` and `to`, in order; stops at the first that does not fit.
std::vector<Box> boxesIn(const std::string& bytes, size_t from, size_t to) {
  std::vector<Box> boxes;
  size_t at = from;
  while (at + 8 <= to) {
    uint64_t size = bigEndian(bytes, at, 4);
    size_t header = 8;
    if (size == 1) {
      if (at + 16 > to) break;
      size = bigEndian(bytes, at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = to - at;
    }
    if (size < header || size > to - at) break;
    boxes.push_back(Box{std::string_view(bytes.data() + at + 4, 4), at + header, at + static_cast<size_t>(size)});
    at += static_cast<size_t>(size);
  }
  return boxes;
}

// A copy, not a pointer: callers often look into a list made for that one look-up.
std::optional<Box> child(const std::vector<Box>& boxes, std::string_view type) {
  for (const Box& b : boxes) {
    if (b.type == type) return b;
  }
  return std::nullopt;
}

// The length of the top-level box at `at` (its first bytes in *header); 0 when unreadable.
int64_t topLevelBox(const Mp4Read& read, int64_t at, int64_t fileSize, std::string* header) {
  if (!readExactly(read, at, std::min<int64_t>(16, fileSize - at), header)) return 0;
  const uint64_t length = bigEndian(*header, 0, 4);
  if (length == 0) return fileSize - at;  // runs to the end
  if (length != 1) return static_cast<int64_t>(length);
  if (header->size() < 16) return 0;
  const uint64_t large = bigEndian(*header, 8, 8);
  return large > static_cast<uint64_t>(fileSize) ? 0 : static_cast<int64_t>(large);
}

// Where the top-level movie box lies; false when there is none within the file.
bool findMovie(const Mp4Read& read, int64_t fileSize, int64_t* at, int64_t* size) {
  int64_t offset = 0;
  std::string header;
  for (int boxes = 0; boxes < 64 && offset + 8 <= fileSize; ++boxes) {
    const int64_t length = topLevelBox(read, offset, fileSize, &header);
    if (length < 8 || length > fileSize - offset) return false;
    if (header.compare(4, 4, "moov") == 0) {
      *at = offset;
      *size = length;
      return true;
    }
    offset += length;
  }
  return false;
}

struct TrackDefaults {
  uint64_t duration = 0, size = 0, flags = 0;
  int64_t nextDecodeTime = 0;  // where a fragment without its own decode time starts
};

bool isSync(uint64_t sampleFlags) { return ((sampleFlags >> 16) & 1) == 0; }

// The samples of track `trackId` in one movie fragment box (`moof`, which starts at `moofAt` in
// the file), added to `table`. False when the fragment does not add up.
bool addFragment(const std::string& moof, int64_t moofAt, int64_t fileSize, int trackId, TrackDefaults& trex,
                 int64_t maxSamples, std::vector<Mp4SampleOffset>* table) {
  const std::vector<Box> top = boxesIn(moof, 0, moof.size());
  if (top.size() != 1) return false;
  int64_t implicitBase = moofAt;  // where the data of a track fragment without a base follows on
  for (const Box& traf : boxesIn(moof, top[0].content, top[0].end)) {
    if (traf.type != "traf") continue;
    const auto parts = boxesIn(moof, traf.content, traf.end);
    const std::optional<Box> tfhd = child(parts, "tfhd");
    if (!tfhd || tfhd->end - tfhd->content < 8) return false;
    const uint64_t flags = bigEndian(moof, tfhd->content, 4) & 0xffffff;
    const bool ours = static_cast<int64_t>(bigEndian(moof, tfhd->content + 4, 4)) == trackId;
    size_t at = tfhd->content + 8;
    auto field = [&](int width) -> std::optional<uint64_t> {
      if (at + static_cast<size_t>(width) > tfhd->end) return std::nullopt;
      const uint64_t value = bigEndian(moof, at, width);
      at += static_cast<size_t>(width);
      return value;
    };
    int64_t base = (flags & 0x020000) ? moofAt : implicitBase;
    uint64_t defaultSize = trex.size, defaultDuration = trex.duration, defaultFlags = trex.flags;
    if (flags & 0x01) {
      auto v = field(8);
      if (!v || *v > static_cast<uint64_t>(fileSize)) return false;
      base = static_cast<int64_t>(*v);
    }
    if ((flags & 0x02) && !field(4)) return false;
    if (flags & 0x08) {
      auto v = field(4);
      if (!v) return false;
      defaultDuration = *v;
    }
    if (flags & 0x10) {
      auto v = field(4);
      if (!v) return false;
      defaultSize = *v;
    }
    if (flags & 0x20) {
      auto v = field(4);
      if (!v) return false;
      defaultFlags = *v;
    }
    int64_t decodeTime = ours ? trex.nextDecodeTime : 0;
    if (const std::optional<Box> tfdt = child(parts, "tfdt"); tfdt && tfdt->end - tfdt->content >= 8) {
      const bool wide = static_cast<uint8_t>(moof[tfdt->content]) == 1;
      if (wide && tfdt->end - tfdt->content < 12) return false;
      decodeTime = static_cast<int64_t>(bigEndian(moof, tfdt->content + 4, wide ? 8 : 4) & 0x3fffffffffffffffULL);
    }
    int64_t position = base;
    for (const Box& trun : parts) {
      if (trun.type != "trun") continue;
      if (trun.end - trun.content < 8) return false;
      const uint64_t runFlags = bigEndian(moof, trun.content, 4) & 0xffffff;
      const uint64_t count = bigEndian(moof, trun.content + 4, 4);
      if (count > static_cast<uint64_t>(maxSamples)) return false;
      size_t p = trun.content + 8;
      if (runFlags & 0x01) {
        if (p + 4 > trun.end) return false;
        position = base + static_cast<int32_t>(static_cast<uint32_t>(bigEndian(moof, p, 4)));
        p += 4;
      }
      std::optional<uint64_t> firstFlags;
      if (runFlags & 0x04) {
        if (p + 4 > trun.end) return false;
        firstFlags = bigEndian(moof, p, 4);
        p += 4;
      }
      const size_t perSample = 4 * (((runFlags >> 8) & 1) + ((runFlags >> 9) & 1) + ((runFlags >> 10) & 1) + ((runFlags >> 11) & 1));
      if (p > trun.end || (perSample > 0 && (trun.end - p) / perSample < count)) return false;
      if (ours && static_cast<int64_t>(table->size() + count) > maxSamples) return false;
      for (uint64_t i = 0; i < count; ++i) {
        uint64_t duration = defaultDuration, size = defaultSize, sampleFlags = i == 0 && firstFlags ? *firstFlags : defaultFlags;
        if (runFlags & 0x100) {
          duration = bigEndian(moof, p, 4);
          p += 4;
        }
        if (runFlags & 0x200) {
          size = bigEndian(moof, p, 4);
          p += 4;
        }
        if (runFlags & 0x400) {
          sampleFlags = bigEndian(moof, p, 4);
          p += 4;
        }
        int64_t offset = 0;
        if (runFlags & 0x800) {
          offset = static_cast<int32_t>(static_cast<uint32_t>(bigEndian(moof, p, 4)));
          p += 4;
        }
        if (position < 0 || size > static_cast<uint64_t>(fileSize)) return false;
        if (ours) table->push_back(Mp4SampleOffset{position, offset, decodeTime, isSync(sampleFlags), true});
        position += static_cast<int64_t>(size);
        decodeTime += static_cast<int64_t>(duration);
      }
    }
    implicitBase = position;
    if (ours) trex.nextDecodeTime = decodeTime;
  }
  return true;
}

// The samples of track `trackId` in every fragment that follows the movie box.
bool fragmentOffsets(const Mp4Read& read, Mp4Fragments fragments, int64_t maxSamples, int64_t maxFragmentBytes,
                     std::vector<Mp4SampleOffset>* table) {
  while (!fragments.done) {
    if (!mp4NextFragment(fragments, read, maxSamples - static_cast<int64_t>(table->size()), maxFragmentBytes, table)) {
      return false;
    }
  }
  return true;
}

TrackDefaults defaultsOf(const Mp4Fragments& f) {
  TrackDefaults d;
  d.duration = f.defaultDuration;
  d.size = f.defaultSize;
  d.flags = f.defaultFlags;
  d.nextDecodeTime = f.nextDecodeTime;
  return d;
}

// The entries of a segment index (`sidx`) of every fragment of the track, starting at `at`: its
// references run on from its end. False when it is not a flat index (or not the track's).
bool segmentIndexEntries(const std::string& sidx, int64_t at, int64_t fileSize, int trackId, Mp4Fragments::Index* index) {
  const std::vector<Box> top = boxesIn(sidx, 0, sidx.size());
  if (top.size() != 1 || top[0].type != "sidx") return false;
  size_t p = top[0].content;
  if (p + 12 > top[0].end) return false;
  const bool wide = static_cast<uint8_t>(sidx[p]) == 1;
  if (static_cast<int64_t>(bigEndian(sidx, p + 4, 4)) != trackId) return false;
  const auto timescale = static_cast<int64_t>(bigEndian(sidx, p + 8, 4));
  if (timescale == 0) return false;
  p += 12;  // version and flags, reference id, time scale
  const size_t timesBytes = wide ? 16 : 8;
  if (p + timesBytes + 4 > top[0].end) return false;
  uint64_t time = bigEndian(sidx, p, static_cast<int>(timesBytes / 2));
  const uint64_t firstOffset = bigEndian(sidx, p + timesBytes / 2, static_cast<int>(timesBytes / 2));
  p += timesBytes + 2;
  const uint64_t count = bigEndian(sidx, p, 2);
  p += 2;
  if (count == 0 || (top[0].end - p) / 12 < count) return false;
  uint64_t position = static_cast<uint64_t>(at) + static_cast<uint64_t>(sidx.size()) + firstOffset;
  std::vector<Mp4Fragments::Entry> found;
  for (uint64_t i = 0; i < count; ++i, p += 12) {
    const uint64_t reference = bigEndian(sidx, p, 4);
    if (reference >> 31) return false;  // an index of indexes
    if (position >= static_cast<uint64_t>(fileSize) || time > static_cast<uint64_t>(INT64_MAX / 2)) return false;
    found.push_back({static_cast<int64_t>(time), static_cast<int64_t>(position)});
    position += reference & 0x7fffffff;
    time += bigEndian(sidx, p + 4, 4);
  }
  index->timescale = timescale;
  index->entries = std::move(found);
  return true;
}

// The entries for track `trackId` of the fragment random access box (`mfra`) at the file's end,
// by time; none when there is none.
std::vector<Mp4Fragments::Entry> randomAccessEntries(const Mp4Read& read, int64_t fileSize, int trackId,
                                                     int64_t maxBytes) {
  std::vector<Mp4Fragments::Entry> entries;
  std::string tail;
  if (fileSize < 16 || !readExactly(read, fileSize - 16, 16, &tail) || tail.compare(4, 4, "mfro") != 0) return entries;
  const auto length = static_cast<int64_t>(bigEndian(tail, 12, 4));
  if (length < 16 || length > fileSize || length > maxBytes) return entries;
  std::string mfra;
  if (!readExactly(read, fileSize - length, length, &mfra)) return entries;
  const std::vector<Box> top = boxesIn(mfra, 0, mfra.size());
  if (top.size() != 1 || top[0].type != "mfra") return entries;
  for (const Box& tfra : boxesIn(mfra, top[0].content, top[0].end)) {
    if (tfra.type != "tfra" || tfra.end - tfra.content < 16) continue;
    if (static_cast<int64_t>(bigEndian(mfra, tfra.content + 4, 4)) != trackId) continue;
    const bool wide = static_cast<uint8_t>(mfra[tfra.content]) == 1;
    const uint64_t sizes = bigEndian(mfra, tfra.content + 8, 4);
    const uint64_t count = bigEndian(mfra, tfra.content + 12, 4);
    const size_t entry = (wide ? 16 : 8) + ((sizes >> 4) & 3) + ((sizes >> 2) & 3) + (sizes & 3) + 3;
    if ((tfra.end - tfra.content - 16) / entry < count) return {};
    for (uint64_t i = 0; i < count; ++i) {
      const size_t at = tfra.content + 16 + static_cast<size_t>(i) * entry;
      const auto time = static_cast<int64_t>(bigEndian(mfra, at, wide ? 8 : 4) & 0x3fffffffffffffffULL);
      const auto moof = static_cast<int64_t>(bigEndian(mfra, at + (wide ? 8 : 4), wide ? 8 : 4));
      if (moof >= 0 && moof < fileSize - length) entries.push_back({time, moof});
    }
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Mp4Fragments::Entry& a, const Mp4Fragments::Entry& b) { return a.time < b.time; });
  // Several entries of one fragment (more than one key sample in it): its first.
  std::vector<Mp4Fragments::Entry> unique;
  for (const auto& e : entries) {
    if (unique.empty() || e.moof > unique.back().moof) unique.push_back(e);
  }
  return unique;
}

// Whether a movie fragment box starts at `at` of `bytes` (which start at `base` in the file):
// a plausible length and a fragment header first.
bool looksLikeFragment(const std::string& bytes, size_t at, int64_t base, int64_t fileSize) {
  if (at + 24 > bytes.size() || bytes.compare(at + 4, 4, "moof") != 0) return false;
  const uint64_t length = bigEndian(bytes, at, 4);
  if (length < 24 || length > static_cast<uint64_t>(fileSize - base - static_cast<int64_t>(at))) return false;
  return bigEndian(bytes, at + 8, 4) == 16 && bytes.compare(at + 12, 4, "mfhd") == 0;
}

}  // namespace

std::shared_ptr<const Mp4Movie> mp4ReadMovie(const Mp4Read& read, int64_t fileSize, int64_t maxMovieBytes) {
  int64_t at = 0, size = 0;
  auto movie = std::make_shared<Mp4Movie>();
  if (!read || fileSize <= 0 || !findMovie(read, fileSize, &at, &size) || size > maxMovieBytes ||
      !readExactly(read, at, size, &movie->bytes)) {
    return nullptr;
  }
  const std::vector<Box> top = boxesIn(movie->bytes, 0, movie->bytes.size());
  if (top.size() != 1 || top[0].type != "moov") return nullptr;
  movie->at = at;
  return movie;
}

std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Read& read, int64_t fileSize, int trackId,
                                                                  int64_t maxSamples, int64_t maxMovieBytes) {
  const auto movie = mp4ReadMovie(read, fileSize, maxMovieBytes);
  if (!movie) return std::nullopt;
  return mp4CompositionOffsets(*movie, read, fileSize, trackId, maxSamples, maxMovieBytes);
}

std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Movie& theMovie, const Mp4Read& read,
                                                                  int64_t fileSize, int trackId, int64_t maxSamples,
                                                                  int64_t maxMovieBytes) {
  const std::string& movie = theMovie.bytes;
  const std::vector<Box> top = boxesIn(movie, 0, movie.size());

  for (const Box& trak : boxesIn(movie, top[0].content, top[0].end)) {
    if (trak.type != "trak") continue;
    const auto parts = boxesIn(movie, trak.content, trak.end);
    const std::optional<Box> tkhd = child(parts, "tkhd");
    if (!tkhd || tkhd->end - tkhd->content < 24) continue;
    const int version = static_cast<uint8_t>(movie[tkhd->content]);
    const size_t idAt = tkhd->content + (version == 1 ? 20 : 12);
    if (idAt + 4 > tkhd->end || static_cast<int64_t>(bigEndian(movie, idAt, 4)) != trackId) continue;
    const std::optional<Box> mdia = child(parts, "mdia");
    const std::optional<Box> minf = mdia ? child(boxesIn(movie, mdia->content, mdia->end), "minf") : std::nullopt;
    const std::optional<Box> stbl = minf ? child(boxesIn(movie, minf->content, minf->end), "stbl") : std::nullopt;
    if (!stbl) return std::nullopt;
    const auto tables = boxesIn(movie, stbl->content, stbl->end);
    const std::optional<Box> ctts = child(tables, "ctts");
    const std::optional<Box> mvex = child(boxesIn(movie, top[0].content, top[0].end), "mvex");
    const std::optional<Box> sizes = child(tables, "stsz");
    const bool ownSamples = sizes && sizes->end - sizes->content >= 12 && bigEndian(movie, sizes->content + 8, 4) > 0;
    if (mvex && !ownSamples) {
      // A fragmented file: its samples, and their offsets, are in the fragments that follow.
      auto fragments = mp4Fragments(theMovie, read, fileSize, trackId, maxMovieBytes);
      std::vector<Mp4SampleOffset> table;
      if (!fragments || !fragmentOffsets(read, *fragments, maxSamples, maxMovieBytes, &table)) return std::nullopt;
      std::stable_sort(table.begin(), table.end(),
                       [](const Mp4SampleOffset& a, const Mp4SampleOffset& b) { return a.position < b.position; });
      return table;
    }
    if (!ctts) return std::vector<Mp4SampleOffset>{};
    const std::optional<Box> stsz = child(tables, "stsz");
    const std::optional<Box> stsc = child(tables, "stsc");
    const std::optional<Box> stco = child(tables, "stco");
    const std::optional<Box> co64 = child(tables, "co64");
    if (!stsz || !stsc || (!stco && !co64)) return std::nullopt;

    // Sample sizes.
    if (stsz->end - stsz->content < 12) return std::nullopt;
    const uint64_t uniformSize = bigEndian(movie, stsz->content + 4, 4);
    const int64_t samples = static_cast<int64_t>(bigEndian(movie, stsz->content + 8, 4));
    if (samples > maxSamples) return std::nullopt;
    if (uniformSize == 0 && static_cast<uint64_t>(stsz->end - stsz->content - 12) < static_cast<uint64_t>(samples) * 4) {
      return std::nullopt;
    }
    auto sizeOf = [&](int64_t sample) {
      return uniformSize != 0 ? uniformSize : bigEndian(movie, stsz->content + 12 + static_cast<size_t>(sample) * 4, 4);
    };
    // Chunk offsets.
    const std::optional<Box> chunks = co64 ? co64 : stco;
    const int width = co64 ? 8 : 4;
    if (chunks->end - chunks->content < 8) return std::nullopt;
    const uint64_t chunkCount = bigEndian(movie, chunks->content + 4, 4);
    if ((chunks->end - chunks->content - 8) / static_cast<size_t>(width) < chunkCount) return std::nullopt;
    // Samples per chunk, by runs of chunks.
    if (stsc->end - stsc->content < 8) return std::nullopt;
    const uint64_t runs = bigEndian(movie, stsc->content + 4, 4);
    if ((stsc->end - stsc->content - 8) / 12 < runs || runs == 0) return std::nullopt;
    // Composition offsets, by runs of samples.
    if (ctts->end - ctts->content < 8) return std::nullopt;
    const uint64_t offsetRuns = bigEndian(movie, ctts->content + 4, 4);
    if ((ctts->end - ctts->content - 8) / 8 < offsetRuns) return std::nullopt;

    std::vector<Mp4SampleOffset> table;
    table.reserve(static_cast<size_t>(samples));
    uint64_t offsetRun = 0, leftInOffsetRun = 0;
    int64_t compositionOffset = 0;
    int64_t sample = 0;
    for (uint64_t run = 0; run < runs && sample < samples; ++run) {
      const size_t entry = stsc->content + 8 + static_cast<size_t>(run) * 12;
      const uint64_t firstChunk = bigEndian(movie, entry, 4);
      const uint64_t perChunk = bigEndian(movie, entry + 4, 4);
      const uint64_t nextFirst = run + 1 < runs ? bigEndian(movie, entry + 12, 4) : chunkCount + 1;
      if (firstChunk == 0 || nextFirst < firstChunk || nextFirst > chunkCount + 1) return std::nullopt;
      for (uint64_t chunk = firstChunk; chunk < nextFirst && sample < samples; ++chunk) {
        auto position = static_cast<int64_t>(
            bigEndian(movie, chunks->content + 8 + static_cast<size_t>(chunk - 1) * static_cast<size_t>(width), width));
        for (uint64_t i = 0; i < perChunk && sample < samples; ++i, ++sample) {
          while (leftInOffsetRun == 0) {
            if (offsetRun >= offsetRuns) return std::nullopt;
            const size_t at = ctts->content + 8 + static_cast<size_t>(offsetRun++) * 8;
            leftInOffsetRun = bigEndian(movie, at, 4);
            // Version 1 offsets are signed; so, in practice, are version 0 ones.
            compositionOffset = static_cast<int32_t>(static_cast<uint32_t>(bigEndian(movie, at + 4, 4)));
          }
          --leftInOffsetRun;
          table.push_back(Mp4SampleOffset{position, compositionOffset});
          const uint64_t size = sizeOf(sample);
          if (size > static_cast<uint64_t>(fileSize)) return std::nullopt;
          position += static_cast<int64_t>(size);
        }
      }
    }
    if (sample != samples) return std::nullopt;
    std::stable_sort(table.begin(), table.end(),
                     [](const Mp4SampleOffset& a, const Mp4SampleOffset& b) { return a.position < b.position; });
    return table;
  }
  return std::nullopt;
}

std::optional<Mp4Fragments> mp4Fragments(const Mp4Read& read, int64_t fileSize, int trackId, int64_t maxMovieBytes) {
  const auto movie = mp4ReadMovie(read, fileSize, maxMovieBytes);
  if (!movie) return std::nullopt;
  return mp4Fragments(*movie, read, fileSize, trackId, maxMovieBytes);
}

std::optional<Mp4Fragments> mp4Fragments(const Mp4Movie& theMovie, const Mp4Read& read, int64_t fileSize, int trackId,
                                         int64_t maxMovieBytes, std::shared_ptr<const Mp4Fragments::Index> index) {
  const std::string& movie = theMovie.bytes;
  const auto movieAt = theMovie.at;
  const auto movieSize = static_cast<int64_t>(movie.size());
  const std::vector<Box> top = boxesIn(movie, 0, movie.size());
  const std::optional<Box> mvex = child(boxesIn(movie, top[0].content, top[0].end), "mvex");
  if (!mvex) return std::nullopt;
  Mp4Fragments f;
  f.trackId = trackId;
  f.fileSize = fileSize;
  f.next = movieAt + movieSize;
  for (const Box& trex : boxesIn(movie, mvex->content, mvex->end)) {
    if (trex.type == "trex" && trex.end - trex.content >= 24 &&
        static_cast<int64_t>(bigEndian(movie, trex.content + 4, 4)) == trackId) {
      f.defaultDuration = bigEndian(movie, trex.content + 12, 4);
      f.defaultSize = bigEndian(movie, trex.content + 16, 4);
      f.defaultFlags = bigEndian(movie, trex.content + 20, 4);
    }
  }
  // An index of the fragments sits between the movie box and the first fragment, or at the end.
  f.index = std::move(index);
  Mp4Fragments::Index sidx;
  std::string header;
  for (int64_t at = f.next, boxes = 0; !f.index && at + 8 <= fileSize && boxes < 16; ++boxes) {
    const int64_t length = topLevelBox(read, at, fileSize, &header);
    if (length < 8 || length > fileSize - at || header.compare(4, 4, "moof") == 0) break;
    if (header.compare(4, 4, "sidx") == 0) {
      // One per track: the track's own.
      std::string sidxBytes;
      if (length <= maxMovieBytes && readExactly(read, at, length, &sidxBytes) &&
          segmentIndexEntries(sidxBytes, at, fileSize, trackId, &sidx)) {
        break;
      }
    }
    at += length;
  }
  if (!f.index) {
    auto found = std::make_shared<Mp4Fragments::Index>();
    if (sidx.entries.empty()) {
      found->entries = randomAccessEntries(read, fileSize, trackId, maxMovieBytes);
      found->timescale = mp4TrackTimescale(theMovie, trackId);
    } else {
      *found = std::move(sidx);
    }
    f.index = std::move(found);
  }
  if (f.indexed()) f.lastFragment = f.index->entries.back().moof;
  return f;
}

bool mp4NextFragment(Mp4Fragments& f, const Mp4Read& read, int64_t maxSamples, int64_t maxFragmentBytes,
                     std::vector<Mp4SampleOffset>* samples) {
  std::string header, moof;
  while (!f.done) {
    if (f.next + 8 > f.fileSize) {
      f.done = true;
      break;
    }
    const int64_t at = f.next;
    const int64_t length = topLevelBox(read, at, f.fileSize, &header);
    if (length < 8) return false;
    if (length > f.fileSize - at) {  // a fragment still being uploaded: not in the file yet
      f.done = true;
      break;
    }
    f.next = at + length;
    if (header.compare(4, 4, "moof") != 0) continue;
    f.lastMoof = at;
    TrackDefaults defaults = defaultsOf(f);
    std::vector<Mp4SampleOffset> found;
    if (length > maxFragmentBytes || !readExactly(read, at, length, &moof) ||
        !addFragment(moof, at, f.fileSize, f.trackId, defaults, maxSamples, &found)) {
      return false;
    }
    f.nextDecodeTime = defaults.nextDecodeTime;
    samples->insert(samples->end(), found.begin(), found.end());
    return true;
  }
  return true;
}

bool mp4FragmentAt(const Mp4Fragments& f, const Mp4Read& read, int64_t at, int64_t maxSamples, int64_t maxFragmentBytes,
                   std::vector<Mp4SampleOffset>* samples) {
  std::string header, moof;
  if (at < 0 || at + 8 > f.fileSize) return false;
  const int64_t length = topLevelBox(read, at, f.fileSize, &header);
  if (length < 8 || length > f.fileSize - at || length > maxFragmentBytes || header.compare(4, 4, "moof") != 0) {
    return false;
  }
  TrackDefaults defaults = defaultsOf(f);
  return readExactly(read, at, length, &moof) && addFragment(moof, at, f.fileSize, f.trackId, defaults, maxSamples, samples);
}

bool mp4IsFragmented(const Mp4Read& read, int64_t fileSize, int64_t maxMovieBytes) {
  const auto movie = mp4ReadMovie(read, fileSize, maxMovieBytes);
  return movie && mp4IsFragmented(*movie);
}

bool mp4IsFragmented(const Mp4Movie& movie) {
  const std::vector<Box> top = boxesIn(movie.bytes, 0, movie.bytes.size());
  return top.size() == 1 && child(boxesIn(movie.bytes, top[0].content, top[0].end), "mvex").has_value();
}

int64_t mp4FindFragment(const Mp4Read& read, int64_t fileSize, int64_t from, int64_t to, int64_t maxScanBytes) {
  to = std::min(to, fileSize);
  std::string bytes;
  // Windows that grow: a fragment's header is usually near, and a reader that fetches larger
  // pieces serves the next windows from the piece it fetched.
  int64_t window = 4 << 10;
  for (int64_t at = std::max<int64_t>(from, 0); at < to && at < from + maxScanBytes;
       at += window, window = std::min<int64_t>(window * 2, 256 << 10)) {
    // Each window starts a header's length back into the one before (read already), so that a
    // header across their border is seen whole.
    const int64_t start = std::max(from, at - 24);
    const int64_t count = std::min(at + window, fileSize) - start;
    if (count < 24 || !readExactly(read, start, count, &bytes)) return -1;
    if (const int64_t found = mp4FragmentIn(bytes, start, fileSize, start, to); found >= 0) return found;
  }
  return -1;
}

int64_t mp4FragmentIn(const std::string& bytes, int64_t base, int64_t fileSize, int64_t from, int64_t to) {
  for (auto i = static_cast<size_t>(std::max<int64_t>(from - base, 0)); i + 24 <= bytes.size() && base + static_cast<int64_t>(i) < to; ++i) {
    if (bytes[i + 4] == 'm' && looksLikeFragment(bytes, i, base, fileSize)) return base + static_cast<int64_t>(i);
  }
  return -1;
}

int64_t mp4TopLevelBox(const Mp4Read& read, int64_t at, int64_t fileSize, std::string* header) {
  return at >= 0 && at + 8 <= fileSize ? topLevelBox(read, at, fileSize, header) : 0;
}

int64_t mp4TrackTimescale(const Mp4Movie& theMovie, int trackId) {
  const std::string& movie = theMovie.bytes;
  const std::vector<Box> top = boxesIn(movie, 0, movie.size());
  if (top.size() != 1) return 0;
  for (const Box& trak : boxesIn(movie, top[0].content, top[0].end)) {
    if (trak.type != "trak") continue;
    const auto parts = boxesIn(movie, trak.content, trak.end);
    const std::optional<Box> tkhd = child(parts, "tkhd");
    if (!tkhd || tkhd->end - tkhd->content < 24) continue;
    const bool wideHeader = static_cast<uint8_t>(movie[tkhd->content]) == 1;
    const size_t idAt = tkhd->content + (wideHeader ? 20 : 12);
    if (idAt + 4 > tkhd->end || static_cast<int64_t>(bigEndian(movie, idAt, 4)) != trackId) continue;
    const std::optional<Box> mdia = child(parts, "mdia");
    const std::optional<Box> mdhd = mdia ? child(boxesIn(movie, mdia->content, mdia->end), "mdhd") : std::nullopt;
    if (!mdhd) return 0;
    const bool wide = mdhd->end - mdhd->content >= 4 && static_cast<uint8_t>(movie[mdhd->content]) == 1;
    const size_t at = mdhd->content + (wide ? 20 : 12);
    return at + 4 <= mdhd->end ? static_cast<int64_t>(bigEndian(movie, at, 4)) : 0;
  }
  return 0;
}

}  // namespace dk::platform
