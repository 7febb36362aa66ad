// The four pages of one run: each loaded on first use and kept loaded to the end.
#pragma once

#include "globals.h"

#include "db/connection.h"

#include <memory>

namespace rowlark::pages {

class Form1;
class Form2;
class Form3;
class Form4;

class Wizard {
public:
    Wizard();
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // Loads the connection page, which is the whole start-up.
    void start();

    Form1& form1();
    Form2& form2();
    Form3& form3();
    Form4& form4();
    bool isLoaded(int form) const;
    // Whether closing a page may end the program now. While a job runs the user is asked; on
    // Yes the job is stopped and the program ends once it has cleaned up.
    bool mayEnd();

    Globals globals;
    // Seconds the start-up's connection test, "Test Connection" and "Next >" may wait for a login.
    int startupLoginTimeout = db::kDefaultLoginTimeout;
    int loginTimeout = db::kDefaultLoginTimeout;

private:
    std::unique_ptr<Form1> form1_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<Form3> form3_;
    std::unique_ptr<Form4> form4_;
};

} // namespace rowlark::pages
