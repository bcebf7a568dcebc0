// Loads and saves a 20 MB project-like document through the XML DOM and
// through libxml2 directly, in the same run; the "ratio" counter is the
// DOM's time over libxml2's.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "kv7/platform/xmldom.h"

namespace {

namespace fs = std::filesystem;

struct Files {
  fs::path dir, source, dom_copy, libxml2_copy;
};

void Line(std::string& out, int depth, const std::string& text) {
  out.append(static_cast<size_t>(depth), '\t').append(text).append("\r\n");
}

void Element(std::string& out, int depth, const char* name, const std::string& value) {
  Line(out, depth, std::string("<") + name + ">" + value + "</" + name + ">");
}

// One folder of procedure files, as a project keeps them.
void AppendFolder(std::string& out, int folder) {
  Line(out, 2, "<Folder>");
  Line(out, 3, "<Info>");
  Element(out, 4, "Name", "Procedures " + std::to_string(folder));
  Element(out, 4, "Type", "Procedures");
  Line(out, 3, "</Info>");
  Line(out, 3, "<Files>");
  for (int file = 0; file < 40; ++file) {
    std::string name = "proc_" + std::to_string(folder) + "_" + std::to_string(file) + ".sql";
    Line(out, 4, "<ProcedureFile>");
    Line(out, 5, "<FileInfo>");
    Element(out, 6, "Reference", "Procedures\\" + name);
    Element(out, 6, "IsReferenceRelative", "true");
    Element(out, 6, "Name", name);
    Element(out, 6, "Owner", "dbo &amp; friends");
    Element(out, 6, "RunOrder", std::to_string(file));
    Line(out, 5, "</FileInfo>");
    Line(out, 4, "</ProcedureFile>");
  }
  Line(out, 3, "</Files>");
  Line(out, 2, "</Folder>");
}

std::string Project(size_t size) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  Line(out, 0, "<Project Name=\"Bench\" Version=\"7.0\">");
  Line(out, 1, "<Configurations>");
  for (const char* name : {"Debug", "Release"}) {
    Line(out, 2, std::string("<Configuration Name=\"") + name + "\">");
    Element(out, 3, "Connection", "Server=db;Database=bench");
    Line(out, 2, "</Configuration>");
  }
  Line(out, 1, "</Configurations>");
  Line(out, 1, "<Folders>");
  for (int folder = 0; out.size() < size; ++folder) AppendFolder(out, folder);
  Line(out, 1, "</Folders>");
  Line(out, 0, "</Project>");
  return out;
}

double DomLoadSave(const Files& files) {
  auto start = std::chrono::steady_clock::now();
  ComPtr<IXMLDOMDocument> document;
  CreateXMLDOMDocument(document.Put());
  VARIANT_BOOL ok = VARIANT_FALSE;
  document->load(files.source.u16string().c_str(), &ok);
  HRESULT saved = document->save(files.dom_copy.u16string().c_str());
  document = nullptr;
  if (ok != VARIANT_TRUE || FAILED(saved)) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Libxml2LoadSave(const Files& files) {
  auto start = std::chrono::steady_clock::now();
  xmlDocPtr doc = xmlReadFile(files.source.c_str(), nullptr, XML_PARSE_NONET);
  int saved = doc ? xmlSaveFile(files.libxml2_copy.c_str(), doc) : -1;
  xmlFreeDoc(doc);
  if (saved < 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each side starts from a heap handed back to the system, as in a fresh
// process: otherwise whichever side happens to make malloc trim the heap
// pays for faulting it in again, and the ratio measures malloc's luck.
template <class Run>
double FromTrimmedHeap(Run run, const Files& files) {
  malloc_trim(0);
  return run(files);
}

void LoadSave(benchmark::State& state, const Files& files) {
  double dom = 0, direct = 0;
  for (auto _ : state) {
    double dom_time = FromTrimmedHeap(DomLoadSave, files);
    double direct_time = FromTrimmedHeap(Libxml2LoadSave, files);
    if (dom_time < 0 || direct_time < 0) {
      state.SkipWithError("load or save failed");
      return;
    }
    state.SetIterationTime(dom_time);
    dom += dom_time;
    direct += direct_time;
  }
  auto iterations = static_cast<double>(state.iterations());
  state.counters["dom_ms"] = dom / iterations * 1e3;
  state.counters["libxml2_ms"] = direct / iterations * 1e3;
  state.counters["ratio"] = dom / direct;
  state.SetBytesProcessed(static_cast<int64_t>(fs::file_size(files.source)) *
                          state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  Files files;
  files.dir = fs::temp_directory_path() / ("kv7-dom-bench-" + std::to_string(getpid()));
  fs::create_directories(files.dir);
  files.source = files.dir / "project.kv7p";
  files.dom_copy = files.dir / "dom.kv7p";
  files.libxml2_copy = files.dir / "libxml2.kv7p";
  std::ofstream(files.source, std::ios::binary) << Project(20u << 20);

  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("DomLoadSave20MB",
                               [&](benchmark::State& state) { LoadSave(state, files); })
      ->UseManualTime()
      ->Iterations(5)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(files.dir);
  return 0;
}
