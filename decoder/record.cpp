#include "decoder/record.h"

#include <charconv>

#include "decoder/codepage.h"
#include "decoder/record_layout.h"

namespace tivaro::decoder {

namespace {

std::uint64_t ReadLittleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t k = bytes.size(); k-- > 0;) {
        value = (value << 8) | bytes[k];
    }
    return value;
}

}  // namespace

void DecodeRecord(std::span<const std::uint8_t> record, DecodedRecord& out) {
    out.transponder.clear();
    out.passingTimeMicros = 0;
    out.passingNumber = 0;
    out.decoderId = 0;
    if (record.size() < kFirstFieldOffset) {
        out.status = RecordStatus::Damaged;
        return;
    }
    if (record[kTypeOffset] != 1 || record[kTypeOffset + 1] != 0) {
        out.status = RecordStatus::OtherType;
        return;
    }

    const std::size_t last = record.size() - 1;  // the end byte, never part of a field
    bool haveTime = false;
    std::size_t textField = 0;    // index of the last 0x0A field, 0 for none
    std::size_t numberField = 0;  // index of the last four-byte 0x03 field, 0 for none

    for (std::size_t a = kFirstFieldOffset; a + 1 < last;) {
        const std::uint8_t type = record[a];
        const std::size_t n = record[a + 1];
        if (a + 2 + n > last) {
            out.status = RecordStatus::Damaged;  // the field runs past the end byte
            return;
        }
        if (type == kFieldPassingTime) {
            // The seven time bytes are the first seven data positions, whatever the stated
            // length; they must all lie before the end byte.
            if (a + 2 + kPassingTimeBytes > last) {
                out.status = RecordStatus::Damaged;
                return;
            }
            out.passingTimeMicros = ReadLittleEndian(record.subspan(a + 2, kPassingTimeBytes));
            haveTime = true;
        } else if (type == kFieldTransponderText) {
            textField = a;
        } else if (type == kFieldNumericTransponder && n == 4) {
            numberField = a;
        } else if (type == kFieldPassingNumber && n == 4) {
            out.passingNumber =
                static_cast<std::uint32_t>(ReadLittleEndian(record.subspan(a + 2, 4)));
        } else if (type == kFieldDecoderId && n == 4) {
            out.decoderId = static_cast<std::uint32_t>(ReadLittleEndian(record.subspan(a + 2, 4)));
        }
        a += n + 2;
    }

    if (textField != 0) {
        const std::size_t n = record[textField + 1];
        const std::span<const std::uint8_t> text = record.subspan(textField + 2, n);
        for (std::size_t k = 0; k < text.size();) {
            // A run of ASCII stays as it is; zero bytes are padding wherever they stand.
            std::size_t run = k;
            while (run < text.size() && text[run] >= 0x01 && text[run] < 0x80) {
                ++run;
            }
            out.transponder.append(reinterpret_cast<const char*>(text.data() + k), run - k);
            if (run < text.size()) {
                if (text[run] != 0) {
                    AppendCp1252AsUtf8(text[run], out.transponder);
                }
                ++run;
            }
            k = run;
        }
    } else if (numberField != 0) {
        const std::uint64_t number = ReadLittleEndian(record.subspan(numberField + 2, 4));
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        out.transponder.assign(digits, end);
    }
    out.status = haveTime ? RecordStatus::Passing : RecordStatus::NoPassingTime;
}

}  // namespace tivaro::decoder
