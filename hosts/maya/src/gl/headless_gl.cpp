// Headless OpenGL on Mesa through EGL (see <mayahost/headless_gl.h>).
#include <mayahost/effect_layout.h>
#include <mayahost/headless_gl.h>

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace mayahost::gl {

struct HeadlessGl::Context {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  GLuint vertexArray = 0;
  // The last effect linked, kept for the next draw of the same source: a
  // renderer draws one effect over many batches, and linking on llvmpipe
  // costs far more than a batch.
  std::string source;
  GLuint program = 0;
};

namespace {

const char* const kVertexShader =
    "#version 330 core\n"
    "// One triangle that covers the target.\n"
    "void main()\n"
    "{\n"
    "    vec2 p = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));\n"
    "    gl_Position = vec4(p, 0.0, 1.0);\n"
    "}\n";

std::string shaderLog(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::string log(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  glGetShaderInfoLog(shader, length, nullptr, log.data());
  return log;
}

GLuint compile(GLenum stage, const std::string& source, std::string* error) {
  const GLuint shader = glCreateShader(stage);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    *error = shaderLog(shader);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

// The fewest layers that OpenGL 3.3 promises a texture array.
constexpr std::size_t kMaxLayers = 256;

// The effect as a program over one triangle that covers the target; 0 with
// the compiler's or linker's complaint in `error`.
GLuint link(const std::string& source, std::string* error) {
  const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader, error);
  const GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, source, error) : 0;
  if (fs == 0) {
    if (vs) glDeleteShader(vs);
    *error = "the effect does not compile: " + *error;
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    glDeleteProgram(program);
    *error = "the effect does not link";
    return 0;
  }
  return program;
}

}  // namespace

HeadlessGl::HeadlessGl() = default;

HeadlessGl::~HeadlessGl() {
  if (!context_) return;
  if (context_->context != EGL_NO_CONTEXT) {
    if (context_->program != 0) glDeleteProgram(context_->program);
    eglMakeCurrent(context_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(context_->display, context_->context);
  }
  // The display stays initialised: eglTerminate would unload Mesa's driver,
  // whose own allocations then show as leaks of an unknown module under
  // LeakSanitizer, where they can be neither read nor suppressed. The next
  // open() takes the same display again.
}

Status HeadlessGl::open() {
  if (context_) return Status();
  auto c = std::make_unique<Context>();
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay == nullptr) return Status::error("EGL has no eglGetPlatformDisplayEXT");
  c->display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major = 0, minor = 0;
  if (c->display == EGL_NO_DISPLAY || !eglInitialize(c->display, &major, &minor)) {
    return Status::error("no surfaceless EGL display (Mesa's EGL, libegl-mesa0, is needed)");
  }
  if (!eglBindAPI(EGL_OPENGL_API)) return Status::error("EGL cannot bind OpenGL");
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                               3,
                               EGL_CONTEXT_MINOR_VERSION,
                               3,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_NONE};
  c->context = eglCreateContext(c->display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
  if (c->context == EGL_NO_CONTEXT) return Status::error("no OpenGL 3.3 core context on EGL");
  if (!eglMakeCurrent(c->display, EGL_NO_SURFACE, EGL_NO_SURFACE, c->context)) {
    return Status::error("cannot make the EGL context current");
  }
  glGenVertexArrays(1, &c->vertexArray);
  context_ = std::move(c);
  return Status();
}

std::string HeadlessGl::renderer() const {
  if (!context_) return "";
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return std::string(renderer ? renderer : "?") + ", OpenGL " + (version ? version : "?");
}

Status HeadlessGl::draw(const std::string& source, const std::vector<UniformValue>& uniforms,
                        int outputs, int width, int height, const std::vector<float>& inputs,
                        std::vector<std::vector<float>>* images) {
  if (!context_) return Status::error("the context is not open");
  const std::size_t layerSize = static_cast<std::size_t>(width) * height * 4;
  // kLayers, and after them any layers an effect reads for inputs of its own.
  if (width <= 0 || height <= 0 || outputs <= 0 || outputs > 8 ||
      inputs.size() < layerSize * effect::kLayers || inputs.size() % layerSize != 0 ||
      inputs.size() / layerSize > kMaxLayers) {
    return Status::error("inputs of the wrong size for the target");
  }
  const std::size_t layers = inputs.size() / layerSize;
  if (context_->program == 0 || context_->source != source) {
    std::string error;
    const GLuint program = link(source, &error);
    if (program == 0) return Status::error(error);
    if (context_->program != 0) glDeleteProgram(context_->program);
    context_->program = program;
    context_->source = source;
  }
  const GLuint program = context_->program;
  glUseProgram(program);

  GLuint inputTexture = 0;
  glGenTextures(1, &inputTexture);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D_ARRAY, inputTexture);
  glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA32F, width, height, static_cast<GLsizei>(layers), 0,
               GL_RGBA, GL_FLOAT, inputs.data());
  glUniform1i(glGetUniformLocation(program, "velvetInputs"), 0);
  for (const UniformValue& u : uniforms) {
    const GLint at = glGetUniformLocation(program, u.name.c_str());
    if (at < 0) continue;  // optimised away
    switch (u.value.size()) {
      case 1:
        glUniform1f(at, u.value[0]);
        break;
      case 2:
        glUniform2fv(at, 1, u.value.data());
        break;
      case 3:
        glUniform3fv(at, 1, u.value.data());
        break;
      case 4:
        glUniform4fv(at, 1, u.value.data());
        break;
      default:
        break;
    }
  }

  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  std::vector<GLuint> targets(static_cast<std::size_t>(outputs));
  std::vector<GLenum> buffers;
  glGenTextures(outputs, targets.data());
  for (int i = 0; i < outputs; ++i) {
    glBindTexture(GL_TEXTURE_2D, targets[static_cast<std::size_t>(i)]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(i),
                           GL_TEXTURE_2D, targets[static_cast<std::size_t>(i)], 0);
    buffers.push_back(GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(i));
  }
  glDrawBuffers(outputs, buffers.data());
  Status result;
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    result = Status::error("float colour attachments are not supported");
  } else {
    glViewport(0, 0, width, height);
    glBindVertexArray(context_->vertexArray);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    images->assign(static_cast<std::size_t>(outputs), std::vector<float>(layerSize));
    for (int i = 0; i < outputs; ++i) {
      glReadBuffer(GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(i));
      glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT,
                   (*images)[static_cast<std::size_t>(i)].data());
    }
    if (glGetError() != GL_NO_ERROR)
      result = Status::error("OpenGL reported an error while drawing");
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(outputs, targets.data());
  glDeleteTextures(1, &inputTexture);
  return result;
}

}  // namespace mayahost::gl
