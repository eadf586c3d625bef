// Scaling pictures down by area averaging: each pixel of the result is the
// mean of the part of the picture it covers, weighted by how much of each
// pixel it covers, so no pixel is skipped however large the reduction.
// Transparent parts weigh nothing in the colour of a pixel that is partly
// covered.
#pragma once

#include <vector>

#include "core/decoders/decoder.h"

namespace core {

// Reduces the rows a decoder gives, as they come: the memory of a row or two
// of the result, whatever the size of the picture. Rows handed over in
// pieces are reduced piece by piece; a row asked for whole takes a buffer of
// the picture's width.
class ReducingSink final : public RowSink {
public:
    explicit ReducingSink(Size target) : target_(target) {}

    // Refuses a picture smaller than the target in either direction.
    void begin(Size size, bool hasAlpha) override;
    Argb* row(int) override;
    void done(int y) override;
    void piece(int y, int x, const Argb* pixels, int n) override;

    // The result, once every row is done.
    Picture picture;

private:
    struct Sum {
        std::int64_t alpha = 0, red = 0, green = 0, blue = 0;
    };
    void across(int x, const Argb* pixels, int n);
    void finishRow(int y);

    Size target_;
    Size source_;
    std::vector<Argb> input_;   // a whole row, for decoders that fill one
    bool inPieces_ = false;     // whether the current row came in pieces
    std::vector<Sum> across_;   // the current source row, reduced across
    std::vector<Sum> current_;  // the target row the source rows are in now
    std::vector<Sum> next_;     // the one after it
};

// `picture` reduced to `target`, which is no larger in either direction.
Picture reduce(const Picture& picture, Size target);

}  // namespace core
