#include "workbook/package.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace tivaro::workbook {

namespace {

constexpr const char* kDamagedHint = kDamagedWorkbookHint;
constexpr const char* kRefusedHint =
    "Kies de juiste werkmap, of sla hem in een rekenblad opnieuw op zonder overbodige inhoud.";
constexpr std::size_t kReadChunk = 64 * 1024;

// "3,7 GiB", "32,0 MiB", "512 bytes": sizes in messages, with the Dutch decimal comma.
std::string SizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kGiB = 1024 * kMiB;
    if (bytes < kMiB) {
        return std::to_string(bytes) + " bytes";
    }
    const bool giga = bytes >= kGiB;
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s",
                  static_cast<double>(bytes) / static_cast<double>(giga ? kGiB : kMiB),
                  giga ? "GiB" : "MiB");
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

std::uint64_t LittleEndian(std::string_view bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// What the end of the package says about its central directory.
struct DirectoryClaim {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
};

// The claim of the end record libzip goes by: opened with a consistency check it takes only an
// end record whose comment reaches exactly to the end of the file, and the zip64 end record
// its locator points to when there is one. nullopt when there is no such record (libzip then
// refuses the file itself).
std::optional<DirectoryClaim> ClaimedDirectory(std::string_view bytes) {
    constexpr std::size_t kEndSize = 22;
    constexpr std::size_t kLocatorSize = 20;
    constexpr std::size_t kEnd64Size = 56;
    if (bytes.size() < kEndSize) {
        return std::nullopt;
    }
    const std::size_t lowest =
        bytes.size() > kEndSize + 0xFFFF ? bytes.size() - kEndSize - 0xFFFF : 0;
    for (std::size_t at = bytes.size() - kEndSize;; --at) {
        if (LittleEndian(bytes, at, 4) == 0x06054B50 &&
            at + kEndSize + LittleEndian(bytes, at + 20, 2) == bytes.size()) {
            DirectoryClaim claim{LittleEndian(bytes, at + 10, 2), LittleEndian(bytes, at + 12, 4),
                                 LittleEndian(bytes, at + 16, 4)};
            if (at >= kLocatorSize && LittleEndian(bytes, at - kLocatorSize, 4) == 0x07064B50) {
                const std::uint64_t record = LittleEndian(bytes, at - kLocatorSize + 8, 8);
                if (bytes.size() >= kEnd64Size && record <= bytes.size() - kEnd64Size &&
                    LittleEndian(bytes, static_cast<std::size_t>(record), 4) == 0x06064B50) {
                    const auto base = static_cast<std::size_t>(record);
                    claim = {LittleEndian(bytes, base + 32, 8), LittleEndian(bytes, base + 40, 8),
                             LittleEndian(bytes, base + 48, 8)};
                }
            }
            return claim;
        }
        if (at == lowest) {
            return std::nullopt;
        }
    }
}

std::string ZipErrorText(zip_error_t* error) {
    std::string text = zip_error_strerror(error);
    zip_error_fini(error);
    return text;
}

// Collects the bytes an archive wrote into a buffer source.
Result<std::string> TakeBuffer(zip_source_t* source) {
    std::string bytes;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_open(source) < 0 || zip_source_stat(source, &stat) < 0) {
        return MakeError(Errc::Failed,
                         std::string("het nieuwe pakket kan niet worden teruggelezen: ") +
                             zip_error_strerror(zip_source_error(source)));
    }
    bytes.resize(stat.size);
    const zip_int64_t got = zip_source_read(source, bytes.data(), stat.size);
    zip_source_close(source);
    if (got < 0 || static_cast<zip_uint64_t>(got) != stat.size) {
        return MakeError(Errc::Failed, "het nieuwe pakket kan niet worden teruggelezen");
    }
    return bytes;
}

// An empty archive that writes into memory; `buffer` receives the bytes on zip_close.
Result<zip_t*> NewMemoryArchive(zip_source_t** buffer) {
    zip_error_t error;
    zip_error_init(&error);
    *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (*buffer == nullptr) {
        return MakeError(Errc::Failed, "er kan geen pakket in het geheugen worden gemaakt: " +
                                           ZipErrorText(&error));
    }
    zip_t* archive = zip_open_from_source(*buffer, ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_source_free(*buffer);
        return MakeError(Errc::Failed, "er kan geen pakket in het geheugen worden gemaakt: " +
                                           ZipErrorText(&error));
    }
    zip_source_keep(*buffer);
    return archive;
}

Result<std::string> Finish(zip_t* archive, zip_source_t* buffer) {
    if (zip_close(archive) < 0) {
        std::string reason = zip_strerror(archive);
        zip_discard(archive);
        zip_source_free(buffer);
        return MakeError(Errc::Failed, "het pakket kan niet worden geschreven: " + reason);
    }
    auto bytes = TakeBuffer(buffer);
    zip_source_free(buffer);
    return bytes;
}

// Sheet XML is very repetitive; zlib's default level spends several milliseconds per 100 KB
// on it for a few percent of size, the fastest level a fraction of that.
void SetFastDeflate(zip_t* archive, zip_uint64_t index) {
    zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 1);
}

Result<std::string> Abandon(zip_t* archive, zip_source_t* buffer, const std::string& part) {
    std::string reason = zip_strerror(archive);
    zip_discard(archive);
    zip_source_free(buffer);
    return MakeError(Errc::Failed,
                     "onderdeel " + part + " kan niet aan het pakket worden toegevoegd: " + reason);
}

}  // namespace

Package::Package(std::unique_ptr<std::string> bytes, ::zip* archive, std::string fileName,
                 PackageLimits limits)
    : bytes_(std::move(bytes)),
      archive_(archive),
      fileName_(std::move(fileName)),
      limits_(limits) {}

Package::Package(Package&& other) noexcept
    : bytes_(std::move(other.bytes_)),
      archive_(std::exchange(other.archive_, nullptr)),
      fileName_(std::move(other.fileName_)),
      limits_(other.limits_) {}

Package& Package::operator=(Package&& other) noexcept {
    if (this != &other) {
        if (archive_ != nullptr) {
            zip_discard(archive_);
        }
        bytes_ = std::move(other.bytes_);
        archive_ = std::exchange(other.archive_, nullptr);
        fileName_ = std::move(other.fileName_);
        limits_ = other.limits_;
    }
    return *this;
}

Package::~Package() {
    if (archive_ != nullptr) {
        zip_discard(archive_);
    }
}

Error FileTooLarge(std::uint64_t size, std::uint64_t cap, const std::string& fileName) {
    return MakeError(Errc::BadFormat, "De werkmap is te groot: het bestand is " + SizeText(size) +
                                          ", meer dan de grens van " + SizeText(cap) + ". " +
                                          kRefusedHint + " Bestand: " + fileName);
}

Result<Package> Package::FromBytes(std::string bytes, std::string fileName, PackageLimits limits) {
    const std::string where = " Bestand: " + fileName;
    if (bytes.size() > limits.fileBytes) {
        return FileTooLarge(bytes.size(), limits.fileBytes, fileName);
    }
    // libzip reserves memory for every entry the end record claims before it reads them.
    if (const auto claim = ClaimedDirectory(bytes)) {
        if (claim->entries > limits.parts) {
            return MakeError(Errc::BadFormat, "De werkmap is geweigerd: het pakket zegt " +
                                                  std::to_string(claim->entries) +
                                                  " onderdelen te hebben, meer dan de grens van " +
                                                  std::to_string(limits.parts) + ". " +
                                                  kRefusedHint + where);
        }
        constexpr std::uint64_t kSmallestDirectoryEntry = 46;
        if (claim->size > bytes.size() || claim->offset > bytes.size() - claim->size ||
            claim->entries > claim->size / kSmallestDirectoryEntry) {
            return MakeError(Errc::BadFormat,
                             "De werkmap is beschadigd: de inhoudsopgave van het pakket (" +
                                 std::to_string(claim->entries) + " onderdelen in " +
                                 SizeText(claim->size) + ") past niet in het bestand. " +
                                 kDamagedHint + where);
        }
    }
    auto owned = std::make_unique<std::string>(std::move(bytes));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(owned->data(), owned->size(), 0, &error);
    if (source == nullptr) {
        return MakeError(Errc::Failed, "De werkmap kan niet worden gelezen (" +
                                           ZipErrorText(&error) + ")." + where);
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) {
        zip_source_free(source);
        const bool notZip = zip_error_code_zip(&error) == ZIP_ER_NOZIP;
        const std::string reason = ZipErrorText(&error);
        return MakeError(Errc::BadFormat,
                         notZip ? "Dit is geen werkmap: het bestand is geen zip-pakket. Kies een "
                                  ".xlsx- of .xlsm-bestand." +
                                      where
                                : "De werkmap is beschadigd: het zip-pakket klopt niet (" + reason +
                                      "). " + kDamagedHint + where);
    }
    Package package(std::move(owned), archive, std::move(fileName), limits);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.parts) {
        return MakeError(Errc::BadFormat,
                         "De werkmap is geweigerd: het pakket heeft " + std::to_string(count) +
                             " onderdelen, meer dan de grens van " + std::to_string(limits.parts) +
                             ". " + kRefusedHint + where);
    }
    return package;
}

Error Package::damaged(const std::string& what) const {
    return MakeError(Errc::BadFormat, "De werkmap is beschadigd: " + what + ". " + kDamagedHint +
                                          " Bestand: " + fileName_);
}

Error Package::overCap(const std::string& part, const std::string& sheet,
                       std::uint64_t size) const {
    const std::string label = sheet.empty() ? part : part + " (werkblad \"" + sheet + "\")";
    return MakeError(Errc::BadFormat,
                     "De werkmap is geweigerd: onderdeel " + label + " is uitgepakt " +
                         SizeText(size) + ", meer dan de grens van " + SizeText(limits_.partBytes) +
                         " per onderdeel. " + kRefusedHint + " Bestand: " + fileName_);
}

Status Package::checkDeclaredSizes(const std::map<std::string, std::string>& sheetOfPart) const {
    std::uint64_t total = 0;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &stat) < 0 ||
            (stat.valid & ZIP_STAT_SIZE) == 0 || (stat.valid & ZIP_STAT_NAME) == 0) {
            return damaged("onderdeel " + std::to_string(i + 1) + " is onleesbaar (" +
                           zip_strerror(archive_) + ")");
        }
        if (stat.size > limits_.partBytes) {
            const auto sheet = sheetOfPart.find(stat.name);
            return overCap(stat.name, sheet == sheetOfPart.end() ? "" : sheet->second, stat.size);
        }
        // No overflow: at most `parts` sizes, each within the part cap.
        total += stat.size;
    }
    if (total > limits_.totalBytes) {
        return MakeError(Errc::BadFormat,
                         "De werkmap is geweigerd: de onderdelen zijn samen uitgepakt " +
                             SizeText(total) + ", meer dan de grens van " +
                             SizeText(limits_.totalBytes) + ". " + kRefusedHint +
                             " Bestand: " + fileName_);
    }
    return {};
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr) {
            names.emplace_back(name);
        }
    }
    return names;
}

bool Package::contains(std::string_view part) const {
    return zip_name_locate(archive_, std::string(part).c_str(), ZIP_FL_NOCASE) >= 0;
}

std::string Package::storedName(std::string_view part) const {
    const zip_int64_t index = zip_name_locate(archive_, std::string(part).c_str(), ZIP_FL_NOCASE);
    const char* name =
        index < 0 ? nullptr : zip_get_name(archive_, static_cast<zip_uint64_t>(index), 0);
    return name != nullptr ? std::string(name) : std::string{};
}

Result<std::string> Package::read(std::string_view part) const {
    const std::string name(part);
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE);
    if (index < 0) {
        return MakeError(Errc::BadFormat, "De werkmap mist onderdeel " + name + ". " +
                                              kDamagedHint + " Bestand: " + fileName_);
    }
    std::string bytes;
    if (Status inflated = inflate(static_cast<zip_uint64_t>(index), name, &bytes); !inflated) {
        return inflated.error();
    }
    return bytes;
}

Status Package::verifyAll(const std::map<std::string, std::string>& sheetOfPart) const {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* stored = zip_get_name(archive_, index, 0);
        std::string label = stored != nullptr ? stored : "nummer " + std::to_string(i + 1);
        if (const auto sheet = sheetOfPart.find(label); sheet != sheetOfPart.end()) {
            label += " (werkblad \"" + sheet->second + "\")";
        }
        if (Status inflated = inflate(index, label, nullptr); !inflated) {
            return inflated;
        }
    }
    return {};
}

Status Package::inflate(std::uint64_t index, const std::string& name, std::string* keep) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, index, 0, &stat) < 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        return damaged("onderdeel " + name + " is onleesbaar (" + zip_strerror(archive_) + ")");
    }
    if (stat.size > limits_.partBytes) {
        return overCap(name, "", stat.size);
    }
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (file == nullptr) {
        return damaged("onderdeel " + name + " kan niet worden uitgepakt (" +
                       zip_strerror(archive_) + ")");
    }
    // Inflated in chunks up to one byte past the declared size: data that goes on beyond it
    // is caught there, whatever it would inflate to. The checksum is computed along the way.
    std::string chunk(kReadChunk, '\0');
    const std::uint64_t limit = stat.size + 1;
    std::uint64_t size = 0;
    uLong crc = crc32_z(0L, Z_NULL, 0);
    zip_int64_t got = 0;
    while (size < limit) {
        const auto want = std::min<std::uint64_t>(chunk.size(), limit - size);
        got = zip_fread(file, chunk.data(), want);
        if (got <= 0) {
            break;
        }
        const auto n = static_cast<std::size_t>(got);
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(chunk.data()), n);
        if (keep != nullptr) {
            keep->append(chunk.data(), n);
        }
        size += n;
    }
    // The end of the entry was read when the data fits its size: libzip has then checked the
    // checksum too, which is checked here once more from the bytes themselves.
    const int failure = got < 0 ? zip_error_code_zip(zip_file_get_error(file)) : ZIP_ER_OK;
    const std::string reason = got < 0 ? zip_file_strerror(file) : "";
    zip_fclose(file);
    const std::string declared = "de " + SizeText(stat.size) + " die het pakket opgeeft";
    if (size > stat.size) {
        return damaged("onderdeel " + name + " pakt uit tot meer dan " + declared);
    }
    if (failure == ZIP_ER_CRC) {
        return damaged("onderdeel " + name + " klopt niet met zijn controlegetal (CRC)");
    }
    if (size < stat.size && (failure == ZIP_ER_OK || failure == ZIP_ER_INCONS)) {
        return damaged("onderdeel " + name + " pakt uit tot " + SizeText(size) + " in plaats van " +
                       declared);
    }
    if (failure != ZIP_ER_OK) {
        return damaged("onderdeel " + name + " kan niet worden uitgepakt (" + reason + ")");
    }
    if ((stat.valid & ZIP_STAT_CRC) != 0 && crc != stat.crc) {
        return damaged("onderdeel " + name + " klopt niet met zijn controlegetal (CRC)");
    }
    return {};
}

Result<std::string> Package::rebuild(const std::map<std::string, std::string>& replaced,
                                     const std::set<std::string>& removed) const {
    zip_source_t* buffer = nullptr;
    auto created = NewMemoryArchive(&buffer);
    if (!created) {
        return created.error();
    }
    zip_t* out = *created;
    std::set<std::string> written;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(archive_, index, 0);
        if (rawName == nullptr) {
            continue;
        }
        const std::string name(rawName);
        if (removed.count(name) != 0) {
            continue;
        }
        zip_source_t* source = nullptr;
        zip_int32_t method = ZIP_CM_DEFLATE;
        if (const auto found = replaced.find(name); found != replaced.end()) {
            source = zip_source_buffer(out, found->second.data(), found->second.size(), 0);
            written.insert(name);
        } else {
            // A whole entry taken from another archive keeps its compressed data: libzip
            // copies it without inflating and deflating again.
            zip_stat_t stat;
            zip_stat_init(&stat);
            if (zip_stat_index(archive_, index, 0, &stat) == 0 &&
                (stat.valid & ZIP_STAT_COMP_METHOD) != 0) {
                method = static_cast<zip_int32_t>(stat.comp_method);
            }
            source = zip_source_zip(out, archive_, index, 0, 0, -1);
        }
        if (source == nullptr) {
            return Abandon(out, buffer, name);
        }
        const zip_int64_t added = zip_file_add(out, name.c_str(), source, ZIP_FL_ENC_GUESS);
        if (added < 0) {
            zip_source_free(source);
            return Abandon(out, buffer, name);
        }
        if (written.count(name) != 0) {
            SetFastDeflate(out, static_cast<zip_uint64_t>(added));
        } else if (method == ZIP_CM_STORE || method == ZIP_CM_DEFLATE) {
            zip_set_file_compression(out, static_cast<zip_uint64_t>(added), method, 0);
        }
    }
    for (const auto& [name, content] : replaced) {
        if (written.count(name) != 0) {
            continue;
        }
        zip_source_t* source = zip_source_buffer(out, content.data(), content.size(), 0);
        const zip_int64_t added =
            source == nullptr ? -1 : zip_file_add(out, name.c_str(), source, ZIP_FL_ENC_GUESS);
        if (added < 0) {
            if (source != nullptr) {
                zip_source_free(source);
            }
            return Abandon(out, buffer, name);
        }
        SetFastDeflate(out, static_cast<zip_uint64_t>(added));
    }
    return Finish(out, buffer);
}

Result<std::string> BuildPackage(const std::vector<std::pair<std::string, std::string>>& parts) {
    zip_source_t* buffer = nullptr;
    auto created = NewMemoryArchive(&buffer);
    if (!created) {
        return created.error();
    }
    zip_t* out = *created;
    for (const auto& [name, content] : parts) {
        zip_source_t* source = zip_source_buffer(out, content.data(), content.size(), 0);
        if (source == nullptr) {
            return Abandon(out, buffer, name);
        }
        const zip_int64_t added = zip_file_add(out, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (added < 0) {
            zip_source_free(source);
            return Abandon(out, buffer, name);
        }
        SetFastDeflate(out, static_cast<zip_uint64_t>(added));
        // A fixed time keeps the output the same from run to run.
        zip_file_set_mtime(out, static_cast<zip_uint64_t>(added), 315576000, 0);
    }
    return Finish(out, buffer);
}

}  // namespace tivaro::workbook
