#include "app/program.h"

#include "app/form1.h"

namespace quorvex::app {

int Main(runtime::WindowSystem& window_system, runtime::Services& services) {
    Form1 form(window_system, services);
    try {
        form.Load();
    } catch (const runtime::ProgramEnd& end) {
        return end.status;
    }
    return form.Show();
}

}  // namespace quorvex::app
