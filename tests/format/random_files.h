// Random files of the kinds a ZFT reader meets, for the format's property
// test and the previewer's robustness test.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <random>

#include "tests/support/fixtures.h"

namespace testing {

// The seed of the random files: ZFT_SEED, or a fixed one so that runs repeat.
inline quint32 seed() {
    bool ok = false;
    const quint32 chosen = qEnvironmentVariableIntValue("ZFT_SEED", &ok);
    return ok ? chosen : 20011225u;
}

// How the previewer takes a size field: the digits at its start, blanks
// among them skipped.
inline int size_of(const QByteArray& field) {
    int value = 0;
    for (const char c : field) {
        if (c >= '0' && c <= '9')
            value = value * 10 + (c - '0');
        else if (c != ' ' && c != '\t')
            break;
    }
    return value;
}

inline QByteArray size_field(int n) { return QByteArray::number(n).rightJustified(3, '0'); }

class RandomFiles {
public:
    explicit RandomFiles(quint32 seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    QByteArray bytes(int n) {
        QByteArray out(n, '\0');
        for (char& c : out)
            c = char(below(256));
        return out;
    }

    // A file of one of the kinds a previewer meets: noise, a sound file cut
    // or extended, one with garbage in its size fields or anywhere in its
    // header, one that promises far more than it holds.
    QByteArray file() {
        const int w = below(21);
        const int h = below(21);
        QByteArray header = header_bytes(w, h, "seed", QDate(2001, 12, 25));
        switch (below(5)) {
        case 0:
            return bytes(below(300));
        case 1:
            break;
        case 2: {
            static const QByteArray alphabet("0123456789 -+.x\t\0\xFF", 18);
            for (int i = 58; i < 64; ++i)
                header[i] = alphabet[below(alphabet.size())];
            break;
        }
        case 3:
            for (int n = 1 + below(5); n > 0; --n)
                header[below(64)] = char(below(256));
            break;
        case 4:
            header.replace(58, 6, below(2) ? QByteArray("999999") : "999" + size_field(below(4)));
            return header + bytes(below(20000));
        }
        const int pixels = 3 * size_of(header.mid(58, 3)) * size_of(header.mid(61, 3));
        switch (below(3)) {
        case 0:
            return header + bytes(pixels);
        case 1:
            return (header + bytes(pixels)).left(below(64 + pixels + 1));
        default:
            return header + bytes(pixels + 1 + below(100));
        }
    }

private:
    std::mt19937 rng_;
};

}  // namespace testing
