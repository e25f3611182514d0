// Compiling and linking hand-written GLSL in the benches, where a shader that does not build
// ends the run with its source and the driver's log.
#pragma once

#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

inline GLuint CompileOrExit(GLenum kind, const char* source) {
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2000] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "%s\n%s\n", source, log);
    std::exit(1);
  }
  return shader;
}

// Links a program of the two shaders, which go with it.
inline GLuint LinkOrExit(GLuint vertex, GLuint fragment) {
  GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2000] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    std::fprintf(stderr, "the program does not link\n%s\n", log);
    std::exit(1);
  }
  return program;
}

}  // namespace bench
