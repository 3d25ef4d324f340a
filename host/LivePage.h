#pragma once

#include <string>

// The live view's page: HTML, CSS and JavaScript in one document, shipped
// inside the program and using nothing from other sites.
const std::string& LivePageHtml();
