#pragma once
// When a link's checksums are trusted. Decoders differ: most send a CRC that checks out, some
// may send another, and a wrong guess must never cost a race. So nothing is checked at first,
// and every record or line is handled. Once three in a row have checked out, the decoder on
// the other end is known to send a CRC this program reads, and from then on one that fails is
// set aside. An accidental match (one in 65,536 for a decoder with another checksum) cannot
// arm it: that would take three in a row. A new connection may lead to another decoder, so
// it starts unchecked again.

namespace tivaro::link {

class CheckArming {
public:
    static constexpr int kRunToArm = 3;

    // One record or line seen: its checksum checked out, or it failed, had none, or was
    // damaged. Gives true when this one armed the check.
    bool observe(bool checksOut) {
        if (!checksOut) {
            run_ = 0;
            return false;
        }
        if (armed_) {
            return false;
        }
        armed_ = ++run_ >= kRunToArm;
        return armed_;
    }
    bool armed() const { return armed_; }
    void disarm() {
        armed_ = false;
        run_ = 0;
    }

private:
    int run_ = 0;
    bool armed_ = false;
};

}  // namespace tivaro::link
