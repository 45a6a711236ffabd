// Packed 1-bit images on disk: PBM (P4 written, P1 and P4 read) and PNG
// (1-bit written, any kind read and thresholded, through libpng).  Rows are MSB first, 1 = black, `stride`
// bytes apart; file rows are packed to ceil(width / 8) bytes.
#ifndef KTVEC_TESTKIT_IMAGEFILE_H
#define KTVEC_TESTKIT_IMAGEFILE_H

#include <string>
#include <vector>

namespace ktvdraw {

struct PackedImage {
    int width = 0, height = 0, stride = 0;
    std::vector<unsigned char> bits;
};

// Each returns an empty string on success, otherwise a one-line reason.
std::string write_pbm(const std::string &path, int width, int height, int stride,
                      const unsigned char *bits);
std::string write_png(const std::string &path, int width, int height, int stride,
                      const unsigned char *bits);
std::string read_pbm(const std::string &path, PackedImage &out);
// Any PNG, turned to grey; pixels darker than 128 are ink.
std::string read_png(const std::string &path, PackedImage &out);
// PNG by its signature, otherwise PBM.
std::string read_image(const std::string &path, PackedImage &out);

}  // namespace ktvdraw

#endif
