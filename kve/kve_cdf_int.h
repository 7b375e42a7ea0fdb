// The CDF that the exchange library's CDF writer or reader has open.
#pragma once

#include "kcdf.h"

#include <memory>

namespace kve_cdf {
extern std::unique_ptr<kcdf::File> current;
}
