#include "xml/document_scanner.h"

#include "xml/scanner.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <optional>
#include <thread>

namespace corvelan::xml {
namespace {

using detail::Scanner;

Error tooLarge(std::uint64_t maxSize) {
    Error e = makeError(ErrorCode::TooLarge);
    e.detail = Limit{maxSize, {}};
    return e;
}

// Reads the document on from the end of `buffer` and gives `scanner` what it was not given yet
// (all but `fed` bytes), to the end of the document.
Result<DocumentShape> scanOnward(Scanner &scanner, const ReadAt &read, std::uint64_t maxSize,
                                 DocumentBuffer &buffer, std::uint64_t fed, std::size_t piece) {
    while (true) {
        const std::uint64_t have = buffer.size();
        if (fed < have) {
            if (!scanner.consume(buffer.view(), static_cast<std::int64_t>(fed),
                                 static_cast<std::int64_t>(have), false))
                return scanner.failure();
            fed = have;
        }
        if (have > maxSize) return tooLarge(maxSize);
        buffer.resize(static_cast<std::size_t>(have) + piece);
        auto got = read(buffer.data() + have, piece, have);
        buffer.resize(static_cast<std::size_t>(have) + (got ? got.value() : 0));
        if (!got) return got.error();
        if (got.value() > 0) continue;
        if (!scanner.consume(buffer.view(), static_cast<std::int64_t>(have),
                             static_cast<std::int64_t>(have), true))
            return scanner.failure();
        return scanner.shape();
    }
}

// Where the rest of a document can be scanned apart from its start: the first watched element
// that begins a line in `window` (at `from` in the document). -1 when there is none.
std::int64_t splitPoint(std::string_view window, std::int64_t from, std::string_view watched) {
    for (std::size_t at = window.find('\n'); at != std::string_view::npos;
         at = window.find('\n', at + 1)) {
        std::size_t tag = at + 1;
        while (tag < window.size() && (window[tag] == ' ' || window[tag] == '\t'))
            ++tag;
        const std::size_t after = tag + 1 + watched.size();
        if (after >= window.size()) return -1;
        if (window[tag] != '<' || window.substr(tag + 1, watched.size()) != watched) continue;
        const char next = window[after];
        if (next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '/' ||
            next == '>')
            return from + static_cast<std::int64_t>(tag);
    }
    return -1;
}

// How a part went: parsed to its end without a fault, and read from its start to `readTo`.
struct PartRun {
    bool parsed = false;
    std::uint64_t readTo = 0;
    std::optional<Error> readError;
};

// Gives [from, to) of the document to `scanner`: the bytes up to `held`, in `buffer` already,
// first, then the rest read into `buffer` (sized already) a piece at a time, until a fault, until
// `stop` is set, or until the document ends early.
PartRun scanPart(Scanner &scanner, const ReadAt &read, DocumentBuffer &buffer, std::uint64_t from,
                 std::uint64_t held, std::uint64_t to, const std::atomic<bool> &stop,
                 std::size_t piece) {
    PartRun run;
    run.readTo = std::max(from, held);
    if (run.readTo > from && !scanner.consume(buffer.view(), static_cast<std::int64_t>(from),
                                              static_cast<std::int64_t>(run.readTo), false))
        return run;
    while (run.readTo < to) {
        if (stop) return run;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(piece, to - run.readTo));
        auto got = read(buffer.data() + run.readTo, want, run.readTo);
        if (!got) {
            run.readError = got.error();
            return run;
        }
        if (got.value() == 0) return run; // the document shrank
        const auto start = static_cast<std::int64_t>(run.readTo);
        run.readTo += got.value();
        if (!scanner.consume(buffer.view(), start, static_cast<std::int64_t>(run.readTo), false))
            return run;
    }
    run.parsed = true;
    return run;
}

// Where the rest of a document may be scanned on its own (`at`, -1 when nowhere), and where the
// bytes read to find it end (`readTo`).
struct Split {
    std::int64_t at = -1;
    std::uint64_t readTo = 0;
};

// The split of a document of `size` bytes: a watched element at the start of a line about
// halfway, found in `window` bytes read there into `buffer` (sized to hold the whole document).
Split findSplit(const ReadAt &read, DocumentBuffer &buffer, std::uint64_t size, std::size_t window,
                std::string_view watched) {
    buffer.resize(static_cast<std::size_t>(size));
    const std::uint64_t middle = size / 2;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(window, size - middle));
    auto got = read(buffer.data() + middle, want, middle);
    if (!got) return {};
    return {splitPoint(buffer.view().substr(static_cast<std::size_t>(middle), got.value()),
                       static_cast<std::int64_t>(middle), watched),
            middle + got.value()};
}

// What a scan in two parts came to: the shape, when they joined; else the failed read of the
// start, or how far the document is read without a gap from its start.
struct Parts {
    std::optional<DocumentShape> joined;
    std::optional<Error> readError;
    std::uint64_t contiguous = 0;
};

// Scans the rest, from the split, as the content of a root with the root's own start tag on a
// thread of its own (the bytes read to find the split are not read again), while this thread
// goes on with `first` (fed `have` bytes) up to the split and closes the root there.
Parts scanInParts(Scanner &first, std::string_view watched, const ReadAt &read, std::uint64_t size,
                  std::uint64_t have, Split found, DocumentBuffer &buffer, PartedHandler &handlers,
                  std::size_t piece) {
    const DocumentShape head = first.shape();
    const std::int64_t split = found.at;
    const auto at = static_cast<std::uint64_t>(split);
    const std::string rootStart(
        buffer.view().substr(static_cast<std::size_t>(head.rootStartTag.offset),
                             static_cast<std::size_t>(head.rootStartTag.length)));
    std::atomic<bool> stop = false;
    Scanner second(watched, &handlers.part(1));
    second.placeInput(static_cast<std::int64_t>(rootStart.size()),
                      split - static_cast<std::int64_t>(rootStart.size()),
                      std::numeric_limits<std::int64_t>::max());
    PartRun rest;
    std::thread other([&] {
        if (second.consumeWritten(rootStart, false))
            rest = scanPart(second, read, buffer, at, found.readTo, size, stop, piece);
        if (rest.parsed) {
            // The document must end where it ended when it was opened.
            char probe = 0;
            auto more = read(&probe, 1, size);
            rest.parsed =
                more && more.value() == 0 && second.consume(buffer.view(), split, split, true);
        }
        if (!rest.parsed) stop = true;
    });
    first.placeInput(0, 0, split);
    PartRun start = scanPart(first, read, buffer, have, have, at, stop, piece);
    if (start.parsed) start.parsed = first.consumeWritten("</" + head.rootName + ">", true);
    if (!start.parsed) stop = true;
    other.join();
    Parts parts;
    if (start.parsed && rest.parsed) {
        parts.joined = first.shape();
        parts.joined->rootEndTag = second.shape().rootEndTag;
    }
    parts.readError = start.readError;
    parts.contiguous =
        start.readTo == at && !rest.readError ? std::max(rest.readTo, at) : start.readTo;
    return parts;
}

} // namespace

Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                   ScanHandler *handler) {
    Scanner scanner(watched, handler);
    if (!scanner.consume(bytes, 0, static_cast<std::int64_t>(bytes.size()), true))
        return scanner.failure();
    return scanner.shape();
}

Result<DocumentShape> scanReading(const ReadAt &read, std::uint64_t size, std::uint64_t maxSize,
                                  std::string_view watched, DocumentBuffer &buffer,
                                  PartedHandler &handlers, const ScanOptions &options) {
    const std::size_t piece = std::max<std::size_t>(options.piece, 1);
    buffer.resize(0);
    if (size > maxSize) return tooLarge(maxSize);
    // Room for the whole document and the read that finds its end, so that it never moves.
    buffer.reserve(static_cast<std::size_t>(size) + piece);
    Scanner first(watched, &handlers.part(0));
    // A short first read: enough to decide on parts, little enough that the parts stay even.
    const std::size_t opening = std::min<std::size_t>(piece, 1 << 16);
    buffer.resize(opening);
    auto got = read(buffer.data(), opening, 0);
    buffer.resize(got ? got.value() : 0);
    if (!got) return got.error();
    const std::uint64_t have = buffer.size();
    if (!first.consume(buffer.view(), 0, static_cast<std::int64_t>(have), have == 0))
        return first.failure();
    if (have == 0) return first.shape();
    const DocumentShape head = first.shape();
    const bool inParts = size >= options.partsFrom && have == opening && first.rootStarted() &&
                         !first.rootEnded() && !first.sawDoctype() &&
                         head.encoding == TextEncoding::Utf8 && // as declared, if at all
                         !(head.rootUnprefixed && head.rootLocalName == watched) &&
                         std::thread::hardware_concurrency() > 1;
    const Split split =
        inParts ? findSplit(read, buffer, size, std::max<std::size_t>(piece, 1 << 16), watched)
                : Split{};
    if (split.at < 0) {
        buffer.resize(static_cast<std::size_t>(have));
        return scanOnward(first, read, maxSize, buffer, have, piece);
    }
    const Parts parts =
        scanInParts(first, watched, read, size, have, split, buffer, handlers, piece);
    if (parts.joined) return *parts.joined;
    if (parts.readError) return *parts.readError;

    // The parts do not join, or one is not well-formed: the whole document, from its start,
    // over what is read already and then on.
    handlers.reset();
    Scanner whole(watched, &handlers.part(0));
    buffer.resize(static_cast<std::size_t>(parts.contiguous));
    return scanOnward(whole, read, maxSize, buffer, 0, piece);
}

} // namespace corvelan::xml
