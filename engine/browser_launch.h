#pragma once
// Starting the browser.

#include <string>

// Starts a program from a narrow command line (the bare path, no arguments), not waited for;
// true when it started.
bool StartProcess(const std::string& commandLine);

// The browser's command line: installFolder followed directly by "orvel.exe".
std::string BrowserCommandLine(const std::string& installFolder);

// Starts the browser of an installation folder with its bare command line; true when it started.
bool StartBrowser(const std::string& installFolder);
