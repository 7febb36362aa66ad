# The sandbox through FreeTDS's CT-lib, as Perl's DBD::Sybase drives it: the shared checks of
# checks.json, then what CT-lib clients do of their own (placeholders, which go as prepared
# statements, several results, a transaction through the driver). Exit status 1 when a check
# fails. (This build of DBD::Sybase on FreeTDS sends no bulk copy; freebcp and tedious test that.)
#   dbd_sybase_client.pl PORT PASSWORD TDS_VERSION   (7.1 or 7.4)
use strict;
use warnings;
use utf8;
use DBI;
use JSON::PP;
use File::Basename qw(dirname);

my ($port, $password, $version) = @ARGV;
$ENV{TDSVER} = $version;
binmode STDOUT, ':encoding(UTF-8)';
my $table = 'Perl_' . ($version =~ s/\./_/r);
my $failures = 0;

sub check {
    my ($what, $ok, $detail) = @_;
    return if $ok;
    $failures++;
    print "FAIL [DBD::Sybase $version] $what: " . (defined $detail ? $detail : '') . "\n";
}

sub connect_as {
    my ($pw, %attrs) = @_;
    return DBI->connect("dbi:Sybase:host=127.0.0.1;port=$port;database=master;charset=utf8",
                        'sa', $pw, {PrintError => 0, RaiseError => 0, AutoCommit => 1,
                                    syb_chained_txn => 1, %attrs});
}

# CT-lib's data types (CS_INT_TYPE ...), as DBD::Sybase gives them in syb_types.
my %kinds = (8 => 'int', 30 => 'bigint', 11 => 'bit', 12 => 'datetime', 40 => 'guid',
             16 => 'decimal', 17 => 'decimal', 9 => 'float', 10 => 'float');

sub same {
    my ($got, $want) = @_;
    return !defined $got && !defined $want if !defined $got || !defined $want;
    my $number = qr/^\s*-?\d+(\.\d+)?\s*$/;
    return $got + 0 == $want + 0 if $got =~ $number && $want =~ $number;
    return $got eq $want;
}

# Runs a batch; the last result's rows, names and types, or the error number.
sub run_batch {
    my ($dbh, $sql) = @_;
    utf8::encode($sql);
    my $sth = $dbh->prepare($sql) or return (undef, undef, undef, $dbh->err);
    $sth->execute or return (undef, undef, undef, $sth->err);
    my ($rows, $names, $types);
    do {
        if ($sth->{NUM_OF_FIELDS}) {
            # The driver names a column without a name COL(1), COL(2) ...
            $names = [map { /^COL\(\d+\)$/ ? '' : $_ } @{$sth->{NAME}}];
            $types = [@{$sth->{syb_types}}];
            $rows = $sth->fetchall_arrayref;
            for my $row (@$rows) { utf8::decode($_) for grep { defined } @$row }
        }
    } while ($sth->{syb_more_results});
    return ($rows, $names, $types, $sth->err);
}

sub shared_checks {
    my ($dbh) = @_;
    open my $f, '<:raw', dirname(__FILE__) . '/checks.json' or die "checks.json: $!";
    my $checks = decode_json(do { local $/; <$f> })->{checks};
    for my $c (@$checks) {
        my $sql = $c->{sql} =~ s/\{t\}/$table/gr;
        my $long = 'x' x 4001;
        $sql =~ s/\{x4001\}/$long/g;
        my ($rows, $names, $types, $err) = run_batch($dbh, $sql);
        if (exists $c->{error}) {
            check($c->{name}, defined $err && $err == $c->{error}, $err);
            next;
        }
        if ($err) {
            check($c->{name}, 0, "error $err: " . ($dbh->errstr // ''));
            next;
        }
        if (exists $c->{rows}) {
            my $ok = $rows && @$rows == @{$c->{rows}};
            for my $i (0 .. ($ok ? $#$rows : -1)) {
                my ($g, $w) = ($rows->[$i], $c->{rows}[$i]);
                $ok &&= @$g == @$w;
                $ok &&= same($g->[$_], $w->[$_]) for 0 .. ($ok ? $#$g : -1);
            }
            check($c->{name}, $ok, JSON::PP->new->encode($rows // []));
        }
        if (exists $c->{columns}) {
            check("$c->{name} (names)", join('|', @$names) eq join('|', @{$c->{columns}}),
                  join('|', @$names));
        }
        if (exists $c->{types}) {
            my @got = map { $kinds{$_} // "type $_" } @$types;
            check("$c->{name} (types)", join(',', @got) eq join(',', @{$c->{types}}), join(',', @got));
        }
    }
}

sub own_checks {
    my ($dbh) = @_;
    # Placeholders: CT-lib prepares the statement once and runs it with each value.
    my $sth = $dbh->prepare("SELECT n FROM $table WHERE k = ?");
    my @got;
    for my $k (4, 5) {
        $sth->execute($k) or check("a placeholder ($k)", 0, $sth->errstr);
        push @got, map { $_->[0] } @{$sth->fetchall_arrayref};
    }
    utf8::decode($_) for @got;
    check('placeholders', "@got" eq 'abc Zürich', "@got");
    my $ins = $dbh->prepare("INSERT INTO $table (k, n) VALUES (?, ?)");
    my $text = "it's café"; # placeholders travel as varchar: the server's code page
    utf8::encode($text);
    check('an insert with placeholders', $ins && $ins->execute(400, $text), $dbh->errstr);
    my ($n) = $dbh->selectrow_array("SELECT n FROM $table WHERE k = 400");
    utf8::decode($n) if defined $n;
    check('its value read back', defined $n && $n eq "it's café", $n);
    # Several results in one batch.
    $sth = $dbh->prepare("SELECT 1; SELECT 2; SELECT 3");
    $sth->execute;
    my @all;
    do { push @all, map { $_->[0] } @{$sth->fetchall_arrayref} } while ($sth->{syb_more_results});
    check('several results', "@all" eq '1 2 3', "@all");
    # A transaction through the driver.
    my $manual = connect_as($password, AutoCommit => 0);
    $manual->do("INSERT INTO $table (k) VALUES (401)");
    $manual->rollback;
    $manual->do("INSERT INTO $table (k) VALUES (402)");
    $manual->commit;
    $manual->disconnect;
    my ($gone, $kept) = $dbh->selectrow_array(
        "SELECT SUM(CASE WHEN k = 401 THEN 1 ELSE 0 END), SUM(CASE WHEN k = 402 THEN 1 ELSE 0 END) FROM $table");
    check('rollback and commit through the driver', $gone == 0 && $kept == 1, "$gone $kept");
    my $refused = connect_as('not the password');
    check('a wrong password is refused', !$refused && ($DBI::errstr // '') =~ /Login failed for user 'sa'/,
          $DBI::errstr);
}

my $dbh = connect_as($password) or die "no connection: $DBI::errstr\n";
shared_checks($dbh);
own_checks($dbh);
$dbh->disconnect;
print "DBD::Sybase $version: " . ($failures ? "failures: $failures" : 'all checks passed') . "\n";
exit($failures ? 1 : 0);
