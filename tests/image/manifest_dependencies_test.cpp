// The dependent assemblies read from manifests as libraries carry them,
// and from manifests that are broken or try to mislead.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/manifest_dependencies.h"

namespace tarnwick {
namespace {

using image::assembly_label;
using image::dependent_assemblies;

std::vector<std::string> labels(std::string_view manifest) {
  std::vector<std::string> found;
  for (const image::AssemblyIdentity& assembly : dependent_assemblies(manifest))
    found.push_back(assembly_label(assembly));
  return found;
}

constexpr const char* kRuntimeLibrary = R"(<?xml version='1.0' encoding='UTF-8' standalone='yes'?>
<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>
  <assemblyIdentity name="Pelko.Suite.Library" version="3.1.0.0" type="win32"/>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security><requestedPrivileges>
      <requestedExecutionLevel level='asInvoker' uiAccess='false' />
    </requestedPrivileges></security>
  </trustInfo>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type='win32' name='Microsoft.VC90.CRT' version='9.0.21022.8'
          processorArchitecture='x86' publicKeyToken='1fc8b3b9a1e18e3b' />
    </dependentAssembly>
  </dependency>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
          processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"></assemblyIdentity>
    </dependentAssembly>
  </dependency>
</assembly>
)";

TEST(DependentAssemblies, EachDependencyInOrderButNotTheManifestsOwnIdentity) {
  const std::vector<image::AssemblyIdentity> found = dependent_assemblies(kRuntimeLibrary);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].type, "win32");
  EXPECT_EQ(found[0].name, "Microsoft.VC90.CRT");
  EXPECT_EQ(found[0].version, "9.0.21022.8");
  EXPECT_EQ(found[0].architecture, "x86");
  EXPECT_EQ(found[0].public_key_token, "1fc8b3b9a1e18e3b");
  EXPECT_EQ(found[0].language, "");
  EXPECT_EQ(found[1].language, "*");
  EXPECT_EQ(labels(kRuntimeLibrary),
            (std::vector<std::string>{"assembly Microsoft.VC90.CRT 9.0.21022.8 (x86)",
                                      "assembly Microsoft.Windows.Common-Controls 6.0.0.0"}));
}

TEST(DependentAssemblies, NamespacePrefixesEntitiesAndBothEncodings) {
  const std::string prefixed =
      "<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1'>"
      "<asmv1:dependency><asmv1:dependentAssembly>"
      "<asmv1:assemblyIdentity name='Tarnwick.R&amp;D' version='1.0.0.0' "
      "processorArchitecture='amd64'/>"
      "</asmv1:dependentAssembly></asmv1:dependency></asmv1:assembly>";
  EXPECT_EQ(labels(prefixed), std::vector<std::string>{"assembly Tarnwick.R&D 1.0.0.0 (amd64)"});

  // The same in UTF-16 as a resource may hold it, with its byte-order mark
  // and without, and in UTF-8 with its mark.
  std::string little = "\xFF\xFE";
  std::string unmarked;
  for (char c : prefixed) {
    little += std::string{c, '\0'};
    unmarked += std::string{c, '\0'};
  }
  EXPECT_EQ(labels(little), labels(prefixed));
  EXPECT_EQ(labels(unmarked), labels(prefixed));
  EXPECT_EQ(labels("\xEF\xBB\xBF" + prefixed), labels(prefixed));
}

TEST(DependentAssemblies, WhatIsNotARequiredDependencyIsNotOne) {
  const char* manifest =
      "<assembly>"
      "<!-- <dependency><dependentAssembly><assemblyIdentity name='In.A.Comment'/>"
      "</dependentAssembly></dependency> -->"
      "<dependency optional='yes'><dependentAssembly>"
      "<assemblyIdentity name='Optional.One' version='1.0.0.0'/></dependentAssembly></dependency>"
      "<dependentAssembly><assemblyIdentity name='Outside.A.Dependency'/></dependentAssembly>"
      "<dependency><assemblyIdentity name='Directly.In.A.Dependency'/></dependency>"
      "<dependency><dependentAssembly><assemblyIdentity version='1.0.0.0'/>"
      "<assemblyIdentity name='Required' version='2.0.0.0' processorArchitecture='*'/>"
      "</dependentAssembly></dependency>"
      "</assembly>";
  EXPECT_EQ(labels(manifest), std::vector<std::string>{"assembly Required 2.0.0.0"});
}

TEST(DependentAssemblies, BrokenTextEndsTheReadingWithWhatWasComplete) {
  const std::string first =
      "<assembly><dependency><dependentAssembly>"
      "<assemblyIdentity name='First' version='1.0.0.0'/></dependentAssembly></dependency>";
  for (const char* rest : {"<dependency><dependentAssembly><assemblyIdentity name='Cut",
                           "<dependency><dependentAssembly><assemblyIdentity name=Bare/>",
                           "<dependency><dependentAssembly><assemblyIdentity name='&bogus;'/>",
                           "<dependency><dependentAssembly><assemblyIdentity name='x'",
                           "<!-- never closed <dependency>", "<", ""})
    EXPECT_EQ(labels(first + rest), std::vector<std::string>{"assembly First 1.0.0.0"}) << rest;
  EXPECT_TRUE(labels("").empty());
  EXPECT_TRUE(labels(std::string("\xFF\xFE<\0", 4)).empty());
}

TEST(DependentAssemblies, HowManyAndHowDeepAreBounded) {
  std::string many = "<assembly>";
  for (int i = 0; i < 100; ++i)
    many += "<dependency><dependentAssembly><assemblyIdentity name='A" + std::to_string(i) +
            "'/></dependentAssembly></dependency>";
  const std::vector<std::string> found = labels(many);
  ASSERT_EQ(found.size(), 64u);
  EXPECT_EQ(found.back(), "assembly A63");

  // Elements nested deeper than any manifest's, then a dependency.
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "<x>";
  deep += "<dependency><dependentAssembly><assemblyIdentity name='Deep'/>";
  EXPECT_TRUE(labels(deep).empty());

  const std::string long_name(257, 'n');
  EXPECT_TRUE(labels("<dependency><dependentAssembly><assemblyIdentity name='" + long_name +
                     "'/></dependentAssembly></dependency>")
                  .empty());
}

// What the system is asked about one assembly reads back as that assembly.
TEST(ManifestRequiring, ReadsBackAsTheOneAssemblyItRequires) {
  const image::AssemblyIdentity assembly{"win32", "Tarnwick.R&D's \"<Lab>\"", "1.2.3.4", "amd64",
                                         "0123456789abcdef", ""};
  const std::string manifest = image::manifest_requiring(assembly);
  EXPECT_EQ(manifest.find("language"), std::string::npos) << manifest;
  const std::vector<image::AssemblyIdentity> found = dependent_assemblies(manifest);
  ASSERT_EQ(found.size(), 1u) << manifest;
  EXPECT_EQ(found[0].type, "win32");
  EXPECT_EQ(found[0].name, "Tarnwick.R&D's \"<Lab>\"");
  EXPECT_EQ(found[0].version, "1.2.3.4");
  EXPECT_EQ(found[0].architecture, "amd64");
  EXPECT_EQ(found[0].public_key_token, "0123456789abcdef");
  EXPECT_EQ(found[0].language, "");
  // A '>' inside a value, as another writer may leave it, ends nothing.
  EXPECT_EQ(labels("<dependency><dependentAssembly><assemblyIdentity name='a>b' version='1'/>"
                   "</dependentAssembly></dependency>"),
            std::vector<std::string>{"assembly a>b 1"});
}

}  // namespace
}  // namespace tarnwick
