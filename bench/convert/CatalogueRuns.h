// Catalogue-mode conversions of the command-line converter (format 0, as the
// window's Start makes them) with a picture effect or a text watermark,
// against the same conversion without them, all in this run.
#pragma once

#include <string>

namespace bench_catalogue {

// Runs quor-convert on `clip` `reps` times per case, the cases in turn, and
// prints best-of wall and processor times with their ratios. Throws
// std::runtime_error when a conversion fails.
void Run(const std::string& clip, int reps);

}  // namespace bench_catalogue
