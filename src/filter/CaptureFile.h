// The stream a file run writes into. The capture pin owns it from StartCapture on.
#pragma once

#include <cstdio>
#include <memory>

namespace vornak {

struct CaptureFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using CaptureFile = std::unique_ptr<std::FILE, CaptureFileCloser>;

}  // namespace vornak
