# The README opens with its title and a one-paragraph description, followed by a heading
# whose code block holds exactly the two setup commands, one to a line.
file(READ ${README} text)
set(title "# mytarvo\n\n")
set(paragraph "([^#`\n][^\n]*\n)+\n")
set(heading "## [^\n]+\n\n")
set(commands "```sh\n\\./scripts/demo\n\\./scripts/test\n```\n")
if(NOT text MATCHES "^${title}${paragraph}${heading}${commands}")
  message(FATAL_ERROR "README must begin with \"# mytarvo\", one paragraph, a heading and a code block "
                      "holding only ./scripts/demo and ./scripts/test")
endif()
