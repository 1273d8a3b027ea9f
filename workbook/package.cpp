#include "workbook/package.h"

#include <zip.h>

#include <utility>

namespace tivaro::workbook {

namespace {

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
        return MakeError(Errc::Failed, std::string("cannot read the new package back: ") +
                                           zip_error_strerror(zip_source_error(source)));
    }
    bytes.resize(stat.size);
    const zip_int64_t got = zip_source_read(source, bytes.data(), stat.size);
    zip_source_close(source);
    if (got < 0 || static_cast<zip_uint64_t>(got) != stat.size) {
        return MakeError(Errc::Failed, "cannot read the new package back");
    }
    return bytes;
}

// An empty archive that writes into memory; `buffer` receives the bytes on zip_close.
Result<zip_t*> NewMemoryArchive(zip_source_t** buffer) {
    zip_error_t error;
    zip_error_init(&error);
    *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (*buffer == nullptr) {
        return MakeError(Errc::Failed,
                         "cannot create a package in memory: " + ZipErrorText(&error));
    }
    zip_t* archive = zip_open_from_source(*buffer, ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_source_free(*buffer);
        return MakeError(Errc::Failed,
                         "cannot create a package in memory: " + ZipErrorText(&error));
    }
    zip_source_keep(*buffer);
    return archive;
}

Result<std::string> Finish(zip_t* archive, zip_source_t* buffer) {
    if (zip_close(archive) < 0) {
        std::string reason = zip_strerror(archive);
        zip_discard(archive);
        zip_source_free(buffer);
        return MakeError(Errc::Failed, "cannot write the package: " + reason);
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
    return MakeError(Errc::Failed, "cannot add part " + part + " to the package: " + reason);
}

}  // namespace

Package::Package(std::unique_ptr<std::string> bytes, ::zip* archive, std::string fileName)
    : bytes_(std::move(bytes)), archive_(archive), fileName_(std::move(fileName)) {}

Package::Package(Package&& other) noexcept
    : bytes_(std::move(other.bytes_)),
      archive_(std::exchange(other.archive_, nullptr)),
      fileName_(std::move(other.fileName_)) {}

Package& Package::operator=(Package&& other) noexcept {
    if (this != &other) {
        if (archive_ != nullptr) {
            zip_discard(archive_);
        }
        bytes_ = std::move(other.bytes_);
        archive_ = std::exchange(other.archive_, nullptr);
        fileName_ = std::move(other.fileName_);
    }
    return *this;
}

Package::~Package() {
    if (archive_ != nullptr) {
        zip_discard(archive_);
    }
}

Result<Package> Package::FromBytes(std::string bytes, std::string fileName) {
    auto owned = std::make_unique<std::string>(std::move(bytes));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(owned->data(), owned->size(), 0, &error);
    if (source == nullptr) {
        return MakeError(Errc::Failed, fileName + ": " + ZipErrorText(&error));
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) {
        zip_source_free(source);
        const bool notZip = zip_error_code_zip(&error) == ZIP_ER_NOZIP;
        const std::string reason = ZipErrorText(&error);
        return MakeError(Errc::BadFormat,
                         notZip ? fileName + " is not a workbook: it is not a zip package"
                                : fileName + " is a damaged package: " + reason);
    }
    return Package(std::move(owned), archive, std::move(fileName));
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
        return MakeError(Errc::BadFormat, fileName_ + " has no part " + name);
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) < 0 ||
        (stat.valid & ZIP_STAT_SIZE) == 0) {
        return MakeError(Errc::BadFormat,
                         fileName_ + ": cannot read part " + name + ": " + zip_strerror(archive_));
    }
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) {
        return MakeError(Errc::BadFormat,
                         fileName_ + ": cannot read part " + name + ": " + zip_strerror(archive_));
    }
    std::string bytes(stat.size, '\0');
    zip_uint64_t done = 0;
    while (done < stat.size) {
        const zip_int64_t got = zip_fread(file, bytes.data() + done, stat.size - done);
        if (got <= 0) {
            break;
        }
        done += static_cast<zip_uint64_t>(got);
    }
    // One more read reaches the end of the entry, where libzip checks the CRC.
    char probe = 0;
    const zip_int64_t tail = done == stat.size ? zip_fread(file, &probe, 1) : -1;
    if (done != stat.size || tail != 0) {
        std::string reason = zip_file_strerror(file);
        zip_fclose(file);
        return MakeError(Errc::BadFormat,
                         fileName_ + " is a damaged package: part " + name + ": " + reason);
    }
    zip_fclose(file);
    return bytes;
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
