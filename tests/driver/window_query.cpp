#include "window_query.h"

#include <stdio.h>

namespace {

// Long enough for a program that is busy installing a file, short enough that
// a hung one is reported within a test's patience.
const UINT kAnswerLimitMs = 3000;

bool SendWithLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             kAnswerLimitMs, result) != 0;
}

struct TopLevelSearch {
  const WindowFilter* filter;
  std::vector<HWND>* found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  TopLevelSearch* search = reinterpret_cast<TopLevelSearch*>(param);
  const WindowFilter& filter = *search->filter;
  if (!filter.hiddenToo && !IsWindowVisible(window)) return TRUE;
  if (!filter.className.empty() && ClassOf(window) != filter.className) return TRUE;
  if (!filter.title.empty()) {
    std::string title;
    if (!ReadWindowText(window, &title) || title.find(filter.title) == std::string::npos) return TRUE;
  }
  search->found->push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectAll(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> Descendants(HWND root) {
  std::vector<HWND> all;
  EnumChildWindows(root, CollectAll, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> OwnedPopups(HWND owner) {
  std::vector<HWND> top;
  EnumWindows(CollectAll, reinterpret_cast<LPARAM>(&top));
  std::vector<HWND> owned;
  for (HWND w : top) {
    if (w != owner && GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w) && !IsMessageBox(w)) {
      owned.push_back(w);
    }
  }
  return owned;
}

// The root's descendants, then each owned popup with its descendants.
std::vector<HWND> SearchSpace(HWND root) {
  std::vector<HWND> space = Descendants(root);
  for (HWND popup : OwnedPopups(root)) {
    space.push_back(popup);
    std::vector<HWND> inner = Descendants(popup);
    space.insert(space.end(), inner.begin(), inner.end());
  }
  return space;
}

std::vector<HWND> VisibleFirst(const std::vector<HWND>& windows) {
  std::vector<HWND> ordered;
  for (HWND w : windows) if (IsWindowVisible(w)) ordered.push_back(w);
  for (HWND w : windows) if (!IsWindowVisible(w)) ordered.push_back(w);
  return ordered;
}

std::string WithoutMnemonics(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

bool IsStandardButtonId(int id) { return id >= IDOK && id <= 11; }  // up to IDCONTINUE

}  // namespace

bool ReadWindowText(HWND window, std::string* text) {
  text->clear();
  DWORD_PTR length = 0;
  if (!SendWithLimit(window, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendWithLimit(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied)) {
    return false;
  }
  if (copied > length + 1) copied = length + 1;
  text->assign(buffer.data(), copied);
  return true;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

int ControlId(HWND window) { return static_cast<int>(GetWindowLongPtrA(window, GWLP_ID) & 0xFFFF); }

std::vector<HWND> FindTopLevel(const WindowFilter& filter) {
  std::vector<HWND> found;
  TopLevelSearch search = {&filter, &found};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return found;
}

bool IsMessageBox(HWND window) {
  if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return false;
  if (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) return false;
  bool hasText = false;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    std::string cls = ClassOf(child);
    int id = ControlId(child);
    if (cls == "Static" || cls == "STATIC") {
      if (id == 0xFFFF) hasText = true;
    } else if (cls == "Button" || cls == "BUTTON") {
      if (!IsStandardButtonId(id)) return false;
    } else {
      return false;
    }
  }
  return hasText;
}

std::vector<HWND> FindMessageBoxes(const std::string& title) {
  WindowFilter filter;
  filter.className = "#32770";
  filter.title = title;
  std::vector<HWND> boxes;
  for (HWND w : FindTopLevel(filter)) {
    if (IsMessageBox(w)) boxes.push_back(w);
  }
  return boxes;
}

std::string MessageBoxText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  std::string value;
  if (text) ReadWindowText(text, &value);
  return value;
}

std::vector<HWND> FindControlsById(HWND root, int id) {
  std::vector<HWND> found;
  for (HWND w : SearchSpace(root)) {
    if (ControlId(w) == (id & 0xFFFF) && !(GetWindowLongPtrA(w, GWL_STYLE) & WS_POPUP)) found.push_back(w);
  }
  return VisibleFirst(found);
}

std::vector<HWND> FindControlsByText(HWND root, const std::string& text) {
  std::vector<HWND> found;
  const std::string wanted = WithoutMnemonics(text);
  for (HWND w : SearchSpace(root)) {
    std::string own;
    if (ReadWindowText(w, &own) && WithoutMnemonics(own) == wanted) found.push_back(w);
  }
  return VisibleFirst(found);
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

void DescribeTree(HWND root, int depth, std::vector<std::string>* lines) {
  std::string text;
  bool answered = ReadWindowText(root, &text);
  LONG_PTR style = GetWindowLongPtrA(root, GWL_STYLE);
  char head[200];
  snprintf(head, sizeof(head), "%*s%p class=%s id=%d %s%s ", depth * 2, "", static_cast<void*>(root),
           ClassOf(root).c_str(), (style & WS_CHILD) ? ControlId(root) : 0,
           IsWindowVisible(root) ? "visible" : "hidden", IsWindowEnabled(root) ? "" : " disabled");
  lines->push_back(std::string(head) + (answered ? "\"" + Printable(text) + "\"" : "<not answering>"));
  for (HWND child = GetWindow(root, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    DescribeTree(child, depth + 1, lines);
  }
}

void DescribeDesktop(std::vector<std::string>* lines) {
  WindowFilter visible;
  for (HWND w : FindTopLevel(visible)) DescribeTree(w, 0, lines);
}
