#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::image {

// A side-by-side assembly as a manifest names it: the attributes of its
// <assemblyIdentity>, each empty where the manifest leaves it out.
struct AssemblyIdentity {
  std::string type;
  std::string name;
  std::string version;
  std::string architecture;  // processorArchitecture: "x86", "amd64", "*", ...
  std::string public_key_token;
  std::string language;
};

// The assemblies a manifest requires: each <assemblyIdentity> inside a
// <dependentAssembly> inside a <dependency> that is not optional, in the
// order written. The text is a library's manifest resource as it lies in the
// file (UTF-8, or UTF-16 with its byte-order mark), foreign bytes: comments,
// any namespace prefix, either quote are read; anything malformed ends the
// reading with what was complete before it, and at most 64 assemblies and a
// nesting of 64 elements are read.
std::vector<AssemblyIdentity> dependent_assemblies(std::string_view manifest);

// A manifest that requires `assembly` and nothing else, every attribute the
// identity has written out (and escaped): what the system is asked about
// when it is to say whether it can provide that one assembly.
std::string manifest_requiring(const AssemblyIdentity& assembly);

// How a report names an assembly the system cannot provide:
// "assembly <name> <version> (<processor>)", e.g.
// "assembly Microsoft.VC90.CRT 9.0.21022.8 (x86)"; the version and the
// processor are left out where the manifest gives none, and so is a
// processor of "*" (the process's own).
std::string assembly_label(const AssemblyIdentity& assembly);

}  // namespace tarnwick::image
