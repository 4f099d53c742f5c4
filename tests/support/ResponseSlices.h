#pragma once

// Reads one response with a THttpResponseReader from bytes that arrive in slices, the way the
// client hands on what it receives, so that tests and the fuzzer can compare slicings.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "net/UnitHttp_errors.h"
#include "net/UnitHttp_response.h"

// What the reader made of the bytes. The body is kept only without an error: how much of a
// failing body was handed over depends on the slices.
struct TReadOutcome {
    std::string error;          // the message of the error raised; empty when none
    std::string body;           // the body handed over
    std::size_t left = 0;       // bytes after the response, not taken
    bool endedByClose = false;  // the body ran until the close
    int statusCode = 0;
    std::string statusText;
    TResponseInfo info;
    std::int64_t bodyLength = -1;
    bool endsConnection = false;

    bool operator==(const TReadOutcome&) const = default;
};

// Hands bytes to a fresh reader, a slice of nextSlice() bytes (at least 1) whenever it has taken
// all it was given, and calls Close once all bytes were handed over and the response is not
// complete: the peer closes after its last byte.
template <typename NextSlice>
TReadOutcome ReadInSlices(std::string_view bytes, std::int64_t maxBodySize, NextSlice nextSlice) {
    THttpResponseReader reader(maxBodySize);
    TReadOutcome outcome;
    try {
        std::size_t at = 0;       // bytes taken
        std::size_t arrived = 0;  // bytes handed over
        while (!reader.Complete()) {
            if (at == arrived) {
                if (arrived == bytes.size()) {
                    reader.Close();
                    outcome.endedByClose = true;
                    break;
                }
                const std::size_t slice = nextSlice();
                arrived += std::min(bytes.size() - arrived, slice < 1 ? 1 : slice);
            }
            const std::string_view input = bytes.substr(at, arrived - at);
            const THttpResponseReader::TStep step = reader.Read(input);
            // Body bytes are a part of the bytes taken, and Read takes nothing only when done.
            const bool bodyTaken = step.body.empty() || (step.body.data() >= input.data() &&
                                                         step.body.data() + step.body.size() <=
                                                             input.data() + step.taken);
            if (step.taken > input.size() || !bodyTaken ||
                (step.taken == 0 && !reader.Complete())) {
                throw std::logic_error("reader step out of its input");
            }
            outcome.body.append(step.body);
            at += step.taken;
        }
        outcome.left = bytes.size() - at;
    } catch (const EBaseError& error) {
        outcome.error = error.what();
        outcome.body.clear();
    }
    outcome.statusCode = reader.StatusCode();
    outcome.statusText = reader.StatusText();
    outcome.info = reader.Info();
    outcome.bodyLength = reader.BodyLength();
    outcome.endsConnection = reader.EndsConnection();
    return outcome;
}
