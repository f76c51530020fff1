// Evaluates expressions of 1 + 2 * 3 - 4 / 5 ... with N terms (N from the
// command line, default 20,000), each ten times, and prints the seconds per
// evaluation. Run it at two lengths to see the growth: ten times the terms
// should take about ten times as long.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "widgets/skEvaluator.h"

int main(int argc, char** argv)
{
    const long terms = argc > 1 ? std::atol(argv[1]) : 20000;
    std::string text = "1";
    const char ops[] = {'+', '*', '-', '/'};
    for (long i = 1; i < terms; ++i)
        text += std::string(" ") + ops[i % 4] + " " + std::to_string(1 + i % 97);
    const int runs = 10;
    long long check = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < runs; ++r)
        check += TskEvaluator::Evaluate(text);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
    std::printf("%ld terms (%zu characters): %.6f s per evaluation (result %lld)\n", terms, text.size(), seconds,
                check / runs);
    return 0;
}
