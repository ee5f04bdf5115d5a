// Measures deflating files of a few hundred bytes: the engine's encoder for them (DeflateTiny)
// against zlib as it was set up for such pieces (level 6, window 10 bits, memLevel 2, reset for
// each piece).
//   tiny_deflate_bench [CALLS]
// Prints the processor time per call for a text of 100 bytes and one of 450 (the fastest of several runs of
// CALLS calls, default 200000), then the compressed sizes of small samples (CSV lines, prose,
// XML, runs, records, log lines) with both.
#include <zlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/engine/pack/tiny_deflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class TZlibTiny {
public:
    TZlibTiny() {
        if (deflateInit2(&FStream, 6, Z_DEFLATED, -10, 2, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
    }
    TZlibTiny(const TZlibTiny&) = delete;
    TZlibTiny& operator=(const TZlibTiny&) = delete;
    ~TZlibTiny() { deflateEnd(&FStream); }

    void Deflate(const std::string& data, Bytes& out) {
        deflateReset(&FStream);
        out.resize(deflateBound(&FStream, static_cast<uLong>(data.size())));
        FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        FStream.avail_in = static_cast<uInt>(data.size());
        FStream.next_out = out.data();
        FStream.avail_out = static_cast<uInt>(out.size());
        if (deflate(&FStream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
        out.resize(out.size() - FStream.avail_out);
    }

private:
    z_stream FStream{};
};

void DeflateOurs(const std::string& data, Bytes& out) {
    out.clear();
    tavik::DeflateTiny(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), true, out);
}

// Processor time of this thread, so that other processes on a shared machine count less.
double ThreadMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// The fastest of several runs: what is left of the noise only adds.
template <class Deflate>
double MicrosecondsPerCall(const std::string& data, int calls, Deflate&& deflate) {
    Bytes out;
    double fastest = 0;
    for (int run = 0; run < 7; ++run) {
        const double started = ThreadMicroseconds();
        for (int i = 0; i < calls; ++i) deflate(data, out);
        const double perCall = (ThreadMicroseconds() - started) / calls;
        if (run == 0 || perCall < fastest) fastest = perCall;
    }
    return fastest;
}

struct TSample {
    const char* Name;
    std::string Data;
};

std::vector<TSample> Samples() {
    std::vector<TSample> samples;
    const char* csv[] = {
        "4711;Mustermann;Erika;Hauptstrasse 12;50667;Koeln;2024-03-01;129,90;EUR;bezahlt\n",
        "10293;Schmidt GmbH & Co. KG;Industriestr. 4;70173;Stuttgart;Rechnung 2024-0117;1.245,00;offen\n",
        "2023-11-14T08:15:02Z;INFO;auftrag-dienst;Auftrag 88213 angelegt von benutzer=kmeier ip=10.2.4.17\n",
        "Artikel;Menge;Preis\nSchraube M4x20;200;0,04\nMutter M4;200;0,02\nUnterlegscheibe 4,3;400;0,01\n",
        "id,name,email,created\n17,Anna Berg,anna.berg@example.de,2022-01-09\n"
        "18,Jonas Wolf,jonas.wolf@example.de,2022-01-11\n",
    };
    for (const char* line : csv) samples.push_back({"csv", line});
    samples.push_back({"prose", "Sehr geehrte Damen und Herren,\nanbei erhalten Sie die Unterlagen zu unserem "
                                "Gespraech vom Dienstag. Mit freundlichen Gruessen\n"});
    samples.push_back({"prose", "The quick brown fox jumps over the lazy dog. Pack my box with five dozen "
                                "liquor jugs.\n"});
    samples.push_back({"xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<beleg nr=\"4711\"><kunde>Erika "
                              "Mustermann</kunde><betrag waehrung=\"EUR\">129.90</betrag></beleg>\n"});
    samples.push_back({"xml", "<config>\n  <entry key=\"host\">db01</entry>\n  <entry key=\"port\">5432</entry>\n"
                              "  <entry key=\"user\">backup</entry>\n</config>\n"});
    samples.push_back({"ini", "[Allgemein]\nSprache=de\nPfad=C:\\Daten\\Archiv\nIntervall=24\n[Netz]\n"
                              "Server=archiv.intern\nPort=8443\n"});
    samples.push_back({"runs", std::string(120, '-') + "\n" + std::string(40, ' ') + "Summe\n"});
    samples.push_back({"runs", "0000000000000000000000000000000000000000000000000000000000000000\n"
                               "0000000000000000000000000000000000000000000000000000000000000001\n"});
    std::string records;
    for (int i = 0; records.size() < 512; ++i)
        records += "Beleg " + std::to_string(i) + ";Kunde " + std::to_string(i % 97) + ";\n";
    for (const std::size_t length : {100, 160, 200, 256, 300, 400, 512})
        samples.push_back({"records", records.substr(0, length)});
    std::string log;
    for (int i = 0; log.size() < 512; ++i)
        log += "2024-05-0" + std::to_string(1 + i % 9) + " 12:" + std::to_string(10 + i * 7 % 50) +
               " WARN Platte /dev/sd" + static_cast<char>('a' + i % 3) + " zu " + std::to_string(80 + i % 19) +
               "% voll\n";
    for (const std::size_t length : {150, 300, 512}) samples.push_back({"log", log.substr(0, length)});
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 200'000;
    // A line of text (fixed codes) and a file of 450 bytes of records (codes fitted to it).
    std::string records;
    for (int i = 0; records.size() < 450; ++i)
        records += "Beleg " + std::to_string(i) + ";Kunde " + std::to_string(i % 97) + ";\n";
    records.resize(450);
    const std::string texts[] = {"Sehr geehrte Damen und Herren, anbei die Rechnung 2024-0117 ueber 1.245,00 EUR "
                                 "zahlbar bis 31.03.\n",
                                 records};
    TZlibTiny zlib;
    for (const std::string& text : texts) {
        const double zlibMicros = MicrosecondsPerCall(text, calls, [&](const std::string& data, Bytes& out) {
            zlib.Deflate(data, out);
        });
        const double oursMicros = MicrosecondsPerCall(text, calls, DeflateOurs);
        std::printf("%zu Bytes Text: zlib %.3f µs, DeflateTiny %.3f µs je Aufruf\n", text.size(), zlibMicros,
                    oursMicros);
    }

    std::size_t zlibTotal = 0, oursTotal = 0, inputTotal = 0;
    Bytes zlibOut, oursOut;
    std::printf("%-8s %6s %6s %6s\n", "Probe", "Bytes", "zlib", "eigen");
    for (const TSample& sample : Samples()) {
        zlib.Deflate(sample.Data, zlibOut);
        DeflateOurs(sample.Data, oursOut);
        std::printf("%-8s %6zu %6zu %6zu\n", sample.Name, sample.Data.size(), zlibOut.size(), oursOut.size());
        inputTotal += sample.Data.size();
        zlibTotal += zlibOut.size();
        oursTotal += oursOut.size();
    }
    std::printf("%-8s %6zu %6zu %6zu (%+.1f %%)\n", "Summe", inputTotal, zlibTotal, oursTotal,
                100.0 * (static_cast<double>(oursTotal) / static_cast<double>(zlibTotal) - 1));
}
