#pragma once

// The REST trio wired as the API client wires it, plus helpers to run an
// exchange against the scripted TLS server.

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "net/REST.h"
#include "tests/support/ScriptedServer.h"

namespace kestrava::testing {

class TrioTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TrustTestCa(); }

  TrioTest() {
    request.SetClient(&client);
    request.SetResponse(&response);
    request.SetTimeout(5000);
    client.SetContentType("application/json");
  }

  static std::string UrlOf(const ScriptedServer& server, std::string_view path,
                           std::string_view host = "localhost") {
    return std::string("https://") + std::string(host) + ":" + std::to_string(server.Port()) +
           std::string(path);
  }

  // Runs Execute; gives the ERESTException message, or "" when it returned.
  std::string Run() {
    try {
      request.Execute();
      return {};
    } catch (const ERESTException& e) {
      lastInner = e.InnerException();
      lastStage = e.Stage();
      lastCertificateRejected = e.CertificateRejected();
      return e.Message();
    }
  }

  // A GET of the given URL answered by the server with `reply`.
  std::string Get(ScriptedServer& server, std::string_view path, Reply reply) {
    server.Enqueue(std::move(reply));
    client.SetBaseURL(UrlOf(server, path));
    request.SetMethod(rmGET);
    return Run();
  }

  TRESTClient client;
  TRESTRequest request;
  TRESTResponse response;
  std::exception_ptr lastInner;
  TExchangeStage lastStage = TExchangeStage::None;
  bool lastCertificateRejected = false;
};

// gzip (windowBits 16+15) or zlib (15) data of the text.
inline std::string Compress(std::string_view text, bool gzip) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 16 + MAX_WBITS : MAX_WBITS, 8,
               Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace kestrava::testing
