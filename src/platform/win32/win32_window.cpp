#include "platform/win32/win32_window.h"

#include <algorithm>

#include <commctrl.h>
#include <windowsx.h>

#include "platform/os_path.h"
#include "platform/win32/wic_picture.h"

namespace velk2 {

namespace {

constexpr wchar_t form_class[] = L"VELK2_frm1";
constexpr int first_child_id = 1000;
// Fixed size, no maximise: the window is laid out to the pixel.
constexpr DWORD form_style =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD child_style = WS_CHILD | WS_CLIPSIBLINGS;

// Caption fonts: the dialog font at 8 points, smaller in half points down to
// 6 until the caption fits its control (kept in tenths of a point).
constexpr int dialog_tenths = 80;
constexpr int smallest_tenths = 60;
// What a push button's frame and a check box's indicator take from the width.
constexpr int button_frame_px = 8;
constexpr int check_indicator_px = 20;

// The program's icon: the first icon of its resources (velk2.rc).
constexpr int program_icon = 1;

// A function of user32 that older Windows versions lack; null there.
template <class Function> Function user32_function(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The DPI of the monitor that shows `window`: Windows 10 (1607) and later
// tell it for each window; earlier ones have one DPI for the whole desktop,
// that of the screen's device context (also for a window not yet made).
int window_dpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto dpi_for_window = user32_function<GetDpiForWindowFn>("GetDpiForWindow");
    if (window && dpi_for_window)
        if (const UINT dpi = dpi_for_window(window)) return int(dpi);
    const HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return dpi > 0 ? dpi : model_dpi;
}

// The frame around a client area at `dpi`: caption and borders grow with it.
SIZE frame_size(SIZE client, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = user32_function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, client.cx, client.cy};
    if (!adjust_for_dpi || !adjust_for_dpi(&r, form_style, FALSE, 0, UINT(dpi)))
        AdjustWindowRectEx(&r, form_style, FALSE, 0);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT scaled(const Control& c, int dpi) {
    const PixelRect r = scaled_rect(c.left, c.top, c.width, c.height, dpi);
    return RECT{r.left, r.top, r.right, r.bottom};
}

Win32Window* owner_of(HWND form) {
    return reinterpret_cast<Win32Window*>(GetWindowLongPtrW(form, GWLP_USERDATA));
}

} // namespace

// The form's window procedure: one small handler per message.
struct FormMessages {
    static void on_command(HWND form, int id, HWND, UINT code) {
        if (code == BN_CLICKED) owner_of(form)->clicked(id);
    }
    static void on_paint(HWND form) {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(form, &ps);
        owner_of(form)->paint_panel(dc, ps.rcPaint);
        EndPaint(form, &ps);
    }
    static BOOL on_erase_background(HWND, HDC) {
        return TRUE; // the paint fills every pixel
    }
    static void on_close(HWND form) { owner_of(form)->user_closed(); }
    static void on_activate(HWND form, UINT state, HWND, BOOL) {
        Win32Window* self = owner_of(form);
        if (state != WA_INACTIVE && self->model_.on_activate)
            self->run_handler_(self->model_.on_activate);
    }
    // Moved to a monitor of another DPI (or the DPI changed): lay out anew.
    static void on_dpi_changed(HWND form, WPARAM wParam, LPARAM lParam) {
        owner_of(form)->change_dpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
    }
    // The layout is to the pixel: the window may be larger than the screen
    // (a small display at a high scale) rather than lose part of the panel.
    static void on_get_min_max_info(HWND form, MINMAXINFO* info) {
        const SIZE size = owner_of(form)->outer_size();
        info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, 2 * size.cx);
        info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, 2 * size.cy);
    }
    // Check boxes sit on a button face; labels and the picture on the black
    // panel, in white; in a tool window everything on the button face.
    static HBRUSH on_control_colour(HWND form, HDC dc, HWND child, int) {
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (lstrcmpiW(cls, L"Button") == 0 || !owner_of(form)->model_.has_panel) {
            // Set in full: a themed check box draws its caption in the
            // colour it is handed here.
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return GetSysColorBrush(COLOR_BTNFACE);
        }
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkColor(dc, RGB(0, 0, 0));
        return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    }

    static LRESULT CALLBACK procedure(HWND form, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(form, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        if (!owner_of(form)) return DefWindowProcW(form, message, wParam, lParam);
        switch (message) {
            HANDLE_MSG(form, WM_COMMAND, on_command);
            HANDLE_MSG(form, WM_PAINT, on_paint);
            HANDLE_MSG(form, WM_ERASEBKGND, on_erase_background);
            HANDLE_MSG(form, WM_CLOSE, on_close);
            HANDLE_MSG(form, WM_ACTIVATE, on_activate);
            HANDLE_MSG(form, WM_CTLCOLORSTATIC, on_control_colour);
            HANDLE_MSG(form, WM_GETMINMAXINFO, on_get_min_max_info);
        case WM_DPICHANGED:
            on_dpi_changed(form, wParam, lParam);
            return 0;
        case WM_PRINTCLIENT: {
            RECT all;
            GetClientRect(form, &all);
            owner_of(form)->paint_panel(reinterpret_cast<HDC>(wParam), all);
            return 0;
        }
        }
        return DefWindowProcW(form, message, wParam, lParam);
    }
};

Win32Window::Win32Window(Window& model, HandlerRunner run_handler)
    : model_(model), run_handler_(std::move(run_handler)),
      painted_(std::size_t(grid_columns * grid_rows)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const ATOM registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES |
                                                           ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = FormMessages::procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(program_icon));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(program_icon),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = form_class;
        return RegisterClassExW(&wc);
    }();
    (void)registered;
    // Made at the desktop's DPI, then laid out for the monitor it lands on.
    dpi_ = window_dpi(nullptr);
    painter_ = GridPainter(dpi_);
    const SIZE size = outer_size();
    form_.reset(CreateWindowExW(0, form_class, L"", form_style, CW_USEDEFAULT, CW_USEDEFAULT,
                                size.cx, size.cy, nullptr, nullptr, instance, this));
    if (form_ && window_dpi(form_.get()) != dpi_)
        change_dpi(window_dpi(form_.get()), nullptr);
    else
        fit_client();
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form_.get(),
                            nullptr, instance, nullptr);
    sync();
}

Win32Window::~Win32Window() {
    // The form owns the children and the tool tips; it goes first, while the
    // fonts and bitmaps they use still exist.
    if (form_) SetWindowLongPtrW(form_.get(), GWLP_USERDATA, 0);
    if (tips_) DestroyWindow(tips_);
    form_.reset();
}

HWND Win32Window::child(const std::string& name) const {
    for (std::size_t i = 0; i < shown_.size() && i < model_.controls.size(); ++i)
        if (model_.controls[i].name == name) return shown_[i].window;
    return nullptr;
}

void Win32Window::sync() {
    destroy_retired();
    if (!form_ || (synced_once_ && model_.revision == synced_revision_)) return;
    synced_once_ = true;
    synced_revision_ = model_.revision;

    RECT client;
    GetClientRect(form_.get(), &client);
    const SIZE size = client_size();
    if (client.right != size.cx || client.bottom != size.cy) fit_client();
    const std::wstring title = widen(model_.title);
    wchar_t current[1024] = {};
    GetWindowTextW(form_.get(), current, 1024);
    if (title != current) SetWindowTextW(form_.get(), title.c_str());

    // Controls only added keep every child; a window built anew keeps those
    // up to the first control that differs.
    std::size_t same = 0;
    while (same < shown_.size() && same < model_.controls.size() &&
           shown_[same].made_for(model_.controls[same], model_.has_panel))
        ++same;
    const bool changed_children = same != shown_.size() || shown_.size() != model_.controls.size();
    retire_children(same);
    while (shown_.size() < model_.controls.size()) add_child(shown_.size());
    if (changed_children) restack();
    for (std::size_t i = 0; i < shown_.size() && i < model_.controls.size(); ++i) apply(i);

    if (painted_has_panel_ != model_.has_panel) {
        painted_has_panel_ = model_.has_panel;
        InvalidateRect(form_.get(), nullptr, FALSE);
    }
    const RECT changed = painter_.changed_area(painted_, model_.cells);
    painted_ = model_.cells;
    if (model_.has_panel && !IsRectEmpty(&changed)) InvalidateRect(form_.get(), &changed, FALSE);
}

SIZE Win32Window::client_size() const {
    return SIZE{scaled_px(model_.width_twips / twips_per_pixel, dpi_),
                scaled_px(model_.height_twips / twips_per_pixel, dpi_)};
}

SIZE Win32Window::outer_size() const {
    return frame_size(client_size(), dpi_);
}

void Win32Window::fit_client() {
    if (!form_) return;
    const SIZE want = client_size();
    const SIZE size = outer_size();
    SetWindowPos(form_.get(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame the system really draws at this DPI may differ from the one
    // computed (a system that draws frames at one DPI for all monitors):
    // the client area is what must match the layout.
    RECT client, frame;
    GetClientRect(form_.get(), &client);
    GetWindowRect(form_.get(), &frame);
    if (client.right != want.cx || client.bottom != want.cy)
        SetWindowPos(form_.get(), nullptr, 0, 0, frame.right - frame.left + want.cx - client.right,
                     frame.bottom - frame.top + want.cy - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::change_dpi(int dpi, const RECT* suggested) {
    if (dpi <= 0 || !form_) return;
    dpi_ = dpi;
    painter_ = GridPainter(dpi);
    // Every caption picks its font again at the new size; the old fonts
    // stay until no control uses them.
    const std::map<int, OwnedFont> old_fonts = std::move(fonts_);
    fonts_.clear();
    for (Shown& shown : shown_) shown.font_tenths = 0;
    // The place Windows suggests keeps the window on the monitor it moved
    // to; the size is the layout's own, to the pixel.
    if (suggested)
        SetWindowPos(form_.get(), nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    fit_client();
    for (std::size_t i = 0; i < shown_.size() && i < model_.controls.size(); ++i) apply(i);
    InvalidateRect(form_.get(), nullptr, FALSE);
}

void Win32Window::present() {
    if (!form_) return;
    if (model_.exists && !presented_) {
        presented_ = true;
        ShowWindow(form_.get(), SW_SHOW);
        UpdateWindow(form_.get());
    } else if (!model_.exists && IsWindowVisible(form_.get())) {
        ShowWindow(form_.get(), SW_HIDE);
    }
}

void Win32Window::close() {
    model_.exists = false;
    ++model_.revision;
    if (form_) ShowWindow(form_.get(), SW_HIDE);
}

void Win32Window::user_closed() {
    // The window always closes; the handler only learns of it.
    if (model_.exists) {
        if (model_.on_close) run_handler_(model_.on_close);
        model_.exists = false;
        ++model_.revision;
    }
    ShowWindow(form_.get(), SW_HIDE);
}

void Win32Window::clicked(int id) {
    const std::size_t index = std::size_t(id - first_child_id);
    if (index >= shown_.size() || index >= model_.controls.size()) return;
    Control& c = model_.controls[index];
    if (c.kind == ControlKind::check_box) {
        // The user's tick is the control's value; the model is the truth.
        c.value = Button_GetCheck(shown_[index].window) == BST_CHECKED ? 1 : 0;
        ++model_.revision;
    }
    struct Running {
        int& count;
        explicit Running(int& n) : count(n) { ++count; }
        ~Running() { --count; }
    } running(clicks_running_);
    if (auto handler = c.on_click) run_handler_(handler);
}

void Win32Window::paint_panel(HDC dc, const RECT& area) {
    if (!model_.has_panel) {
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    painter_.paint(dc, area, model_.cells);
}

void Win32Window::retire_children(std::size_t first) {
    for (std::size_t i = first; i < shown_.size(); ++i) {
        Shown& shown = shown_[i];
        if (!shown.window) continue;
        if (tips_ && !shown.tool_tip.empty()) {
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V1_SIZE;
            tool.hwnd = form_.get();
            tool.uId = reinterpret_cast<UINT_PTR>(shown.window);
            SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        if (shown.bitmap) SendMessageW(shown.window, STM_SETIMAGE, IMAGE_BITMAP, 0);
        ShowWindow(shown.window, SW_HIDE);
        SetWindowLongPtrW(shown.window, GWLP_ID, 0); // its id goes to a new child
        retired_.push_back(shown.window);
    }
    if (first < shown_.size()) shown_.erase(shown_.begin() + std::ptrdiff_t(first), shown_.end());
    destroy_retired();
}

void Win32Window::destroy_retired() {
    // A button whose click is being handled (the handler built the window
    // anew) must outlive its notification: it goes at a later sync.
    if (clicks_running_ > 0) return;
    for (HWND window : retired_) DestroyWindow(window);
    retired_.clear();
}

void Win32Window::add_child(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown shown;
    shown.name = c.name;
    shown.kind = c.kind;
    shown.placed = c.placed;
    shown.has_panel = model_.has_panel;
    const wchar_t* cls = nullptr;
    DWORD style = child_style;
    switch (c.kind) {
    case ControlKind::button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    case ControlKind::check_box:
        cls = L"BUTTON";
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
    case ControlKind::label:
        cls = L"STATIC";
        style |= SS_LEFT;
        // A tool window's label: one line centred on the height of the
        // button beside it, cut short with an ellipsis, an & shown as it is.
        if (!model_.has_panel) style |= SS_CENTERIMAGE | SS_ENDELLIPSIS | SS_NOPREFIX;
        break;
    case ControlKind::image:
        cls = L"STATIC";
        style |= SS_BITMAP;
        break;
    case ControlKind::progress:
        cls = PROGRESS_CLASSW;
        break;
    case ControlKind::timer:
        break;
    }
    if (c.placed && cls) {
        const RECT r = scaled(c, dpi_);
        shown.window = CreateWindowExW(
            0, cls, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top, form_.get(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_child_id + int(index))),
            GetModuleHandleW(nullptr), nullptr);
        if (c.kind == ControlKind::progress) SendMessageW(shown.window, PBM_SETRANGE32, 0, 100);
    }
    shown_.push_back(std::move(shown));
}

void Win32Window::restack() {
    for (std::size_t i : stacking_order(model_))
        if (i < shown_.size() && shown_[i].window)
            SetWindowPos(shown_[i].window, HWND_TOP, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Window::apply(std::size_t index) {
    const Control& c = model_.controls[index];
    const HWND w = shown_[index].window;
    if (!w) return;
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, form_.get(), reinterpret_cast<POINT*>(&r), 2);
    const RECT want = scaled(c, dpi_);
    if (!EqualRect(&r, &want))
        SetWindowPos(w, nullptr, want.left, want.top, want.right - want.left,
                     want.bottom - want.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (bool(IsWindowEnabled(w)) != c.enabled) EnableWindow(w, c.enabled);
    apply_tool_tip(index);
    switch (c.kind) {
    case ControlKind::button:
        apply_caption(index);
        break;
    case ControlKind::check_box: {
        apply_caption(index);
        const WPARAM state = c.value == 0 ? BST_UNCHECKED : BST_CHECKED;
        if (WPARAM(Button_GetCheck(w)) != state) Button_SetCheck(w, state);
        break;
    }
    case ControlKind::label:
        apply_label(index);
        break;
    case ControlKind::image:
        apply_picture(index);
        break;
    case ControlKind::progress: {
        const int position = std::clamp(c.value, 0, 100);
        if (shown_[index].value != position) {
            shown_[index].value = position;
            SendMessageW(w, PBM_SETPOS, WPARAM(position), 0);
        }
        break;
    }
    case ControlKind::timer:
        break;
    }
    if (bool(IsWindowVisible(w)) != c.visible || (GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) == 0)
        ShowWindow(w, c.visible ? SW_SHOWNA : SW_HIDE);
}

HFONT Win32Window::caption_font(int tenths) {
    auto& font = fonts_[tenths];
    if (!font) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        LOGFONTW lf = metrics.lfMessageFont;
        lf.lfHeight = -MulDiv(tenths, dpi_, 720);
        lf.lfWidth = 0;
        font.reset(CreateFontIndirectW(&lf));
    }
    return font.get();
}

void Win32Window::apply_caption(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown& shown = shown_[index];
    if (shown.caption == c.caption && shown.font_tenths != 0) return;
    shown.caption = c.caption;
    const std::wstring text = widen(c.caption);
    SetWindowTextW(shown.window, text.c_str());
    const int room = scaled_px(
        c.width - (c.kind == ControlKind::check_box ? check_indicator_px : button_frame_px), dpi_);
    const HDC dc = GetDC(shown.window);
    int tenths = dialog_tenths;
    for (;; tenths -= 5) {
        const HGDIOBJ old = SelectObject(dc, caption_font(tenths));
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
        SelectObject(dc, old);
        if (tenths <= smallest_tenths || extent.cx <= room) break;
    }
    ReleaseDC(shown.window, dc);
    if (shown.font_tenths != tenths) {
        shown.font_tenths = tenths;
        SetWindowFont(shown.window, caption_font(tenths), TRUE);
    }
}

void Win32Window::apply_label(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown& shown = shown_[index];
    // A tool window's labels in the dialog font, like its buttons.
    if (!model_.has_panel && shown.font_tenths != dialog_tenths) {
        shown.font_tenths = dialog_tenths;
        SetWindowFont(shown.window, caption_font(dialog_tenths), TRUE);
    }
    if (shown.caption == c.text) return;
    shown.caption = c.text;
    SetWindowTextW(shown.window, widen(c.text).c_str());
}

void Win32Window::apply_tool_tip(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown& shown = shown_[index];
    if (!tips_ || shown.tool_tip == c.tool_tip) return;
    std::wstring text = widen(c.tool_tip);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = form_.get();
    tool.uId = reinterpret_cast<UINT_PTR>(shown.window);
    tool.lpszText = text.data();
    if (shown.tool_tip.empty())
        SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    else if (c.tool_tip.empty())
        SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    else
        SendMessageW(tips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    shown.tool_tip = c.tool_tip;
}

void Win32Window::apply_picture(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown& shown = shown_[index];
    std::error_code ec;
    // A file chosen again under the same name may hold a new picture.
    const auto time = c.picture.empty() ? std::filesystem::file_time_type{}
                                        : std::filesystem::last_write_time(os_path(c.picture), ec);
    if (c.picture == shown.picture && time == shown.picture_time && shown.picture_dpi == dpi_)
        return;
    shown.picture = c.picture;
    shown.picture_time = time;
    shown.picture_dpi = dpi_;
    const RECT r = scaled(c, dpi_);
    OwnedBitmap bitmap;
    if (!c.picture.empty())
        bitmap = load_picture_bitmap(c.picture, r.right - r.left, r.bottom - r.top);
    SendMessageW(shown.window, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
    shown.bitmap = std::move(bitmap); // the old one only now, after the control let it go
    // A bitmap static takes the size of its picture; the control keeps the model's.
    SetWindowPos(shown.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

OwnedBitmap Win32Window::render() {
    sync();
    const SIZE size = client_size();
    void* bits = nullptr;
    OwnedBitmap bitmap = make_dib(size.cx, size.cy, &bits);
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc) return nullptr;
    const HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    const RECT all{0, 0, size.cx, size.cy};
    paint_panel(dc.get(), all);
    // Each control over the panel, bottom one first, drawn by itself into
    // a bitmap of its own size and copied into place.
    for (std::size_t i : stacking_order(model_)) {
        if (i >= shown_.size()) continue;
        const Control& c = model_.controls[i];
        if (!shown_[i].window || !c.visible || c.width <= 0 || c.height <= 0) continue;
        const RECT r = scaled(c, dpi_);
        const int width = r.right - r.left, height = r.bottom - r.top;
        void* child_bits = nullptr;
        const OwnedBitmap face = make_dib(width, height, &child_bits);
        const OwnedDc child_dc(CreateCompatibleDC(nullptr));
        if (!face || !child_dc) continue;
        const HGDIOBJ old_face = SelectObject(child_dc.get(), face.get());
        SendMessageW(shown_[i].window, WM_PRINT, reinterpret_cast<WPARAM>(child_dc.get()),
                     PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        BitBlt(dc.get(), r.left, r.top, width, height, child_dc.get(), 0, 0, SRCCOPY);
        SelectObject(child_dc.get(), old_face);
    }
    GdiFlush();
    SelectObject(dc.get(), old);
    return bitmap;
}

} // namespace velk2
