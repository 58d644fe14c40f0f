// tlvx_report_images DIR: writes the static pictures of the report pages
// (logo, name, arrows, section icons) into the images directory DIR, where
// tlvxstat serves them by number.
#include <iostream>

#include "webstat/static_images.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tlvx_report_images DIRECTORY\n";
        return 2;
    }
    try {
        tlvx::WriteStaticImages(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
