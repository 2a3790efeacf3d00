! Test vectors for the text module, written by the Fortran runtime itself.
!   fixed    : Fw.d, Ew.d and Iw fields      -> fixed_fields.txt
!   free     : list-directed output lines    -> free_format.txt
!   read     : list-directed internal reads  -> read_values.txt (inputs from read_inputs.txt)
! Values travel as IEEE bit patterns in hexadecimal so that nothing is lost
! between this program and the tests.  Run through gen_vectors.sh.
module vec
  implicit none
  integer(8) :: state = 88172645463325252_8
contains
  ! xorshift64: shifts and exclusive-or only, so no signed overflow.
  integer(8) function next_bits()
    state = ieor(state, ishft(state, 13))
    state = ieor(state, ishft(state, -7))
    state = ieor(state, ishft(state, 17))
    next_bits = state
  end function

  real(8) function from_bits(b)
    integer(8), intent(in) :: b
    from_bits = transfer(b, 1d0)
  end function

  ! Uniform in [0,1) from 53 random bits.
  real(8) function uniform()
    uniform = real(ishft(next_bits(), -11), 8) * 2d0**(-53)
  end function

  ! A finite value whose magnitude is spread log-uniformly over 10**lo .. 10**hi.
  real(8) function log_spread(lo, hi)
    integer, intent(in) :: lo, hi
    real(8) :: s
    s = 10d0**(lo + (hi - lo) * uniform())
    if (iand(next_bits(), 1_8) == 1) s = -s
    log_spread = s
  end function
end module

program gen_vectors
  use vec
  implicit none
  character(len=16) :: mode
  call get_command_argument(1, mode)
  select case (trim(mode))
  case ('fixed')
    call fixed_fields()
  case ('free')
    call free_lines()
  case ('read')
    call reads()
  case default
    stop 'usage: gen_vectors fixed|free|read'
  end select
contains

  subroutine add(list, n, x)
    real(8), intent(inout) :: list(:)
    integer, intent(inout) :: n
    real(8), intent(in) :: x
    n = n + 1
    list(n) = x
  end subroutine

  ! Values that probe ties, carries, overflow to asterisks, tiny and huge
  ! magnitudes, signed zero and the values that are not numbers.
  subroutine special_values(v, n)
    real(8), intent(out) :: v(:)
    integer, intent(out) :: n
    real(8) :: z, t
    integer :: k, j
    n = 0
    z = 0d0
    call add(v, n, 0d0)
    call add(v, n, -z)
    call add(v, n, from_bits(int(z'7FF8000000000000', 8)))      ! NaN
    call add(v, n, from_bits(int(z'FFF8000000000000', 8)))      ! NaN, sign bit set
    call add(v, n, from_bits(int(z'7FF0000000000001', 8)))      ! signalling NaN
    call add(v, n, from_bits(int(z'7FF0000000000000', 8)))      ! +Infinity
    call add(v, n, from_bits(int(z'FFF0000000000000', 8)))      ! -Infinity
    call add(v, n, from_bits(1_8))                              ! smallest subnormal
    call add(v, n, -from_bits(1_8))
    call add(v, n, from_bits(int(z'000FFFFFFFFFFFFF', 8)))      ! largest subnormal
    call add(v, n, tiny(1d0))
    call add(v, n, huge(1d0))
    call add(v, n, -huge(1d0))
    call add(v, n, 1d-300)
    call add(v, n, -1d-300)
    call add(v, n, 1d300)
    call add(v, n, 1d-100)
    call add(v, n, 1d-101)
    call add(v, n, 9.999999996d-100)
    call add(v, n, 9.999999996d-101)
    call add(v, n, 9.999999996d99)
    call add(v, n, -9.999999996d99)
    call add(v, n, 1d100)
    call add(v, n, 1d99)
    ! exact binary ties at 0 to 8 decimals, with integer parts of several sizes
    do k = 0, 8
      t = 0.5d0 * 10d0**(-k)
      do j = 1, 7, 2
        call add(v, n, real(j, 8) / 2d0**(k + 1))
      end do
    end do
    call add(v, n, 0.125d0)
    call add(v, n, -0.125d0)
    call add(v, n, 0.375d0)
    call add(v, n, 2.5d0)
    call add(v, n, 3.5d0)
    call add(v, n, -2.5d0)
    call add(v, n, 0.5d0)
    call add(v, n, 1.5d0)
    call add(v, n, -0.5d0)
    call add(v, n, 12345.125d0)
    call add(v, n, 98765.375d0)
    call add(v, n, 0.03125d0)
    call add(v, n, 0.015625d0)
    call add(v, n, 1.00390625d0)
    call add(v, n, 0.001953125d0)
    call add(v, n, 0.0009765625d0)
    call add(v, n, 0.00048828125d0)
    call add(v, n, 99.99609375d0)
    ! decimal "ties" that are not exact in binary
    call add(v, n, 0.05d0)
    call add(v, n, 0.15d0)
    call add(v, n, 0.25d0)
    call add(v, n, 0.35d0)
    call add(v, n, 0.45d0)
    call add(v, n, 1.005d0)
    call add(v, n, 2.675d0)
    call add(v, n, 0.00005d0)
    call add(v, n, 0.000005d0)
    call add(v, n, 0.0000005d0)
    call add(v, n, 0.00000005d0)
    call add(v, n, 0.000000005d0)
    ! carries into a new digit
    call add(v, n, 9.99995d0)
    call add(v, n, 9.999995d0)
    call add(v, n, -9.999995d0)
    call add(v, n, 0.99999d0)
    call add(v, n, 0.999999999d0)
    call add(v, n, 0.9999999999d0)
    call add(v, n, -0.99999d0)
    call add(v, n, 99.95d0)
    call add(v, n, 99.96d0)
    call add(v, n, 999.95d0)
    call add(v, n, 999.96d0)
    call add(v, n, 9999.9999d0)
    call add(v, n, 9999.99995d0)
    call add(v, n, 9999.99996d0)
    call add(v, n, -999.9999d0)
    call add(v, n, -999.99996d0)
    call add(v, n, 99999.99999d0)
    call add(v, n, 999999.999999d0)
    call add(v, n, 999999.9999996d0)
    call add(v, n, 9999999.9999999d0)
    call add(v, n, 99999999.99999999d0)
    call add(v, n, 99999999999.999d0)
    call add(v, n, 999999999999.9999d0)
    call add(v, n, 9999999999999.99d0)
    call add(v, n, 0.999999995d0)
    call add(v, n, 0.99999999996d0)
    ! small values that round to zero, keeping their sign
    call add(v, n, 0.000001d0)
    call add(v, n, -0.000001d0)
    call add(v, n, -0.00004d0)
    call add(v, n, -0.00005d0)
    call add(v, n, -0.00006d0)
    call add(v, n, -0.04d0)
    call add(v, n, -0.4d0)
    call add(v, n, -0.6d0)
    call add(v, n, 0.4d0)
    call add(v, n, 0.6d0)
    call add(v, n, -1d-9)
    call add(v, n, 1d-9)
    ! powers of ten and their neighbours
    do k = -25, 25
      t = 10d0**k
      call add(v, n, t)
      call add(v, n, nearest(t, 1d0))
      call add(v, n, -nearest(t, -1d0))
    end do
    ! edges of the field widths the programs use
    call add(v, n, 99999.9999d0)
    call add(v, n, -9999.9999d0)
    call add(v, n, 99999.999995d0)
    call add(v, n, -99999.99999d0)
    call add(v, n, 999.99999d0)
    call add(v, n, 9999.999995d0)
    call add(v, n, -99.999995d0)
    call add(v, n, 99999999.999999d0)
    call add(v, n, 999999999.9999995d0)
    call add(v, n, 1234567890123.4567d0)
    call add(v, n, -123456789012.3456d0)
    call add(v, n, 99.995d0)
    call add(v, n, 999.95d0)
    call add(v, n, -99.95d0)
    call add(v, n, 494.64345633794136d0)
    call add(v, n, 148034.5625d0)
    call add(v, n, 60d0)
    call add(v, n, 360d0)
    call add(v, n, 0.30000000000000004d0)
    call add(v, n, -6.3426d0)
    call add(v, n, 4d0 * atan(1d0))
  end subroutine

  subroutine fixed_fields()
    integer, parameter :: nf = 35, nmax = 600
    character(len=1) :: kind(nf)
    integer :: w(nf), d(nf)
    real(8) :: v(nmax)
    integer :: n, i, k, r
    real(8) :: x
    kind = [character(len=1) :: 'F','F','F','F','F','F','F','F', &
            'F','F','F','F','F','F','F','F','F','F','F','F','F', &
            'F','F', &
            'E','E','E','E','E','E','E','E','E','E','E','E']
    w = [9, 10, 12, 16, 18, 20, 6, 5,   1, 2, 2, 3, 3, 4, 4, 5, 3, 2, 4, 7, 8,   40, 30, &
         15, 14, 13, 12, 10, 9, 8, 7, 6, 5, 30, 24]
    d = [4, 5, 6, 6, 4, 8, 2, 1,        0, 0, 1, 0, 2, 0, 1, 0, 1, 1, 3, 6, 7,   30, 20, &
         8, 8, 8, 5, 3, 2, 1, 1, 1, 1, 20, 16]
    call special_values(v, n)
    do k = 1, nf
      do i = 1, n
        call put_fixed(kind(k), w(k), d(k), v(i))
      end do
    end do
    ! random values: bit patterns of every magnitude, and magnitudes that
    ! give digits in the fields
    do k = 1, nf
      do r = 1, 300
        select case (mod(r, 3))
        case (0)
          x = from_bits(next_bits())
        case (1)
          x = log_spread(-12, w(k) - d(k))
        case default
          ! near a rounding tie of the field: the decimal tie plus or minus
          ! a few units in the last place
          if (kind(k) == 'F') then
            x = (real(int(uniform() * 10d0**min(w(k) - d(k) - 2, 8), 8), 8) + 0.5d0) * 10d0**(-d(k))
          else
            x = (real(int(10d0**(min(d(k), 15) - 1) * (1d0 + 9d0 * uniform()), 8), 8) + 0.5d0) &
                * 10d0**(int(uniform() * 60d0) - 30)
          end if
          x = x * (1d0 + (uniform() - 0.5d0) * 4d0 * epsilon(1d0))
          if (iand(next_bits(), 1_8) == 1) x = -x
        end select
        call put_fixed(kind(k), w(k), d(k), x)
      end do
    end do
    call integer_fields()
  end subroutine

  subroutine put_fixed(kind, w, d, x)
    character(len=1), intent(in) :: kind
    integer, intent(in) :: w, d
    real(8), intent(in) :: x
    character(len=32) :: fmt
    character(len=64) :: field
    write(fmt, '(a,a,i0,a,i0,a)') '(', kind, w, '.', d, ')'
    write(field, fmt) x
    write(*, '(a,1x,i0,1x,i0,1x,z16.16,1x,a,a,a)') kind, w, d, transfer(x, 1_8), '|', field(1:w), '|'
  end subroutine

  subroutine integer_fields()
    integer, parameter :: nw = 7
    integer :: w(nw) = [3, 4, 5, 11, 12, 1, 2]
    integer(8) :: v(200)
    integer :: n, i, k
    integer(8) :: p
    n = 0
    v(1:6) = [0_8, 1_8, -1_8, 9_8, -9_8, 5_8]
    n = 6
    p = 1
    do k = 1, 18
      p = p * 10
      n = n + 1; v(n) = p - 1
      n = n + 1; v(n) = p
      n = n + 1; v(n) = -(p - 1)
      n = n + 1; v(n) = -p
    end do
    n = n + 1; v(n) = 2147483647_8
    n = n + 1; v(n) = -2147483648_8
    n = n + 1; v(n) = huge(1_8)
    n = n + 1; v(n) = -huge(1_8) - 1
    do i = 1, 40
      n = n + 1; v(n) = ishft(next_bits(), -int(mod(abs(next_bits()), 63_8)))
      if (mod(i, 2) == 0) v(n) = -v(n)
    end do
    do k = 1, nw
      do i = 1, n
        call put_int(w(k), v(i))
      end do
    end do
  end subroutine

  subroutine put_int(w, x)
    integer, intent(in) :: w
    integer(8), intent(in) :: x
    character(len=32) :: fmt
    character(len=64) :: field
    write(fmt, '(a,i0,a)') '(I', w, ')'
    write(field, fmt) x
    write(*, '(a,1x,i0,1x,i0,1x,i0,1x,a,a,a)') 'I', w, 0, x, '|', field(1:w), '|'
  end subroutine

  ! Each case is two lines: its items (t:text, i:integer, r:bits of a real,
  ! separated by ';'), then the line the runtime writes for them.
  subroutine spec_real(x)
    real(8), intent(in) :: x
    write(*, '(a,z16.16)') 'r:', transfer(x, 1_8)
  end subroutine

  subroutine free_lines()
    real(8) :: v(600), x, y
    integer :: n, i, j, k
    write(*, '(a)') 't:jmax=;i:4'
    write(*, *) 'jmax=', 4
    write(*, '(a)') 't:jmax=;i:20'
    write(*, *) 'jmax=', 20
    write(*, '(a,z16.16,a,z16.16)') 't:emax=;r:', transfer(494.64345633794136d0, 1_8), &
        ';t: exponential=;r:', transfer(1d-31, 1_8)
    write(*, *) 'emax=', 494.64345633794136d0, ' exponential=', 1d-31
    write(*, '(4(a,z16.16))') 'r:', transfer(1d0, 1_8), ';r:', transfer(2d0, 1_8), &
        ';r:', transfer(1d300, 1_8), ';r:', transfer(1d-5, 1_8)
    write(*, *) 1d0, 2d0, 1d300, 1d-5
    write(*, '(a)') ''
    write(*, *)
    write(*, '(a)') 'i:5;i:6'
    write(*, *) 5, 6
    write(*, '(a)') 't:a;t:b'
    write(*, *) 'a', 'b'
    write(*, '(a)') 't:a;i:5;t:b'
    write(*, *) 'a', 5, 'b'
    write(*, '(a)') 'i:5;t:b;i:-7;t:c;t:d'
    write(*, *) 5, 'b', -7, 'c', 'd'
    write(*, '(a)') 't:;i:5'
    write(*, *) '', 5
    write(*, '(a)') 't:;t:'
    write(*, *) '', ''
    write(*, '(a)') 't:a;t:;t:b'
    write(*, *) 'a', '', 'b'
    write(*, '(a)') 'i:5;t:;t:a'
    write(*, *) 5, '', 'a'
    write(*, '(a)') 'i:5;t: '
    write(*, *) 5, ' '
    write(*, '(a)') 't: ;i:5'
    write(*, *) ' ', 5
    write(*, '(a)') 't:weird ithe;i:181'
    write(*, *) 'weird ithe', 181
    write(*, '(a)') 't:iodevn can only be -1 0 1'
    write(*, *) 'iodevn can only be -1 0 1'
    write(*, '(a)') 'i:3;i:3'
    write(*, *) 3, 3
    write(*, '(a)') 't:number of points ;i:2'
    write(*, *) 'number of points ', 2
    write(*, '(a)') 'i:-2147483648;i:2147483647;i:0'
    write(*, *) -2147483647 - 1, 2147483647, 0
    write(*, '(a)') 'i:360'
    write(*, *) 360
    write(*, '(a)') 'l:5;l:-9223372036854775807;l:9223372036854775807'
    write(*, *) 5_8, -9223372036854775807_8, 9223372036854775807_8
    write(*, '(a)') 'i:5;l:5;i:5;t:x;l:1048576;t:y'
    write(*, *) 5, 5_8, 5, 'x', 1048576_8, 'y'
    write(*, '(a,z16.16,a,z16.16,a)') 't:Ekin;r:', transfer(12.5d0, 1_8), ';l:1024;r:', transfer(0.25d0, 1_8), ';t:yes'
    write(*, *) 'Ekin', 12.5d0, 1024_8, 0.25d0, 'yes'
    write(*, '(a,z16.16,a)') 't:x;r:', transfer(1.5d0, 1_8), ';t:y;i:2;t:z'
    write(*, *) 'x', 1.5d0, 'y', 2, 'z'
    write(*, '(a,z16.16,a)') 'i:2;r:', transfer(-1.5d-200, 1_8), ';i:3'
    write(*, *) 2, -1.5d-200, 3
    ! every special value alone, then beside a text, an integer and another real
    call special_values(v, n)
    do i = 1, n
      call spec_real(v(i))
      write(*, *) v(i)
    end do
    do i = 1, n, 7
      write(*, '(a,z16.16,a,i0)') 't:v=;r:', transfer(v(i), 1_8), ';t: k=;i:', i
      write(*, *) 'v=', v(i), ' k=', i
      j = mod(i * 13, n) + 1
      write(*, '(a,z16.16,a,z16.16)') 'r:', transfer(v(i), 1_8), ';r:', transfer(v(j), 1_8)
      write(*, *) v(i), v(j)
    end do
    ! the range boundaries of the fixed and exponent layouts
    do k = -3, 20
      x = 10d0**k
      do j = -2, 2
        y = x
        if (j < 0) then
          do i = 1, -j
            y = nearest(y, -1d0)
          end do
        else
          do i = 1, j
            y = nearest(y, 1d0)
          end do
        end if
        call spec_real(y)
        write(*, *) y
        call spec_real(-y)
        write(*, *) -y
      end do
    end do
    ! random values: bit patterns and spread magnitudes
    do i = 1, 3000
      if (mod(i, 2) == 0) then
        x = from_bits(next_bits())
      else
        x = log_spread(-20, 25)
      end if
      call spec_real(x)
      write(*, *) x
    end do
  end subroutine

  ! Inputs, one a line after a '|', read as a real and as an integer through
  ! a 30-character buffer.
  subroutine reads()
    character(len=30) :: buf
    character(len=200) :: line
    real(8) :: x, y
    integer :: i, j, ios, iosr, iosi
    do
      read(*, '(a)', iostat=ios) line
      if (ios /= 0) exit
      buf = line(2:)
      ! A null value (an empty item, a lone slash, "3*") leaves the variable
      ! as it was: read twice from different starting values to see it.
      x = -777d0
      y = 555d0
      i = -777
      j = 555
      read(buf, *, iostat=iosr) x
      read(buf, *, iostat=ios) y
      if (iosr /= 0) then
        iosr = 1
      else if (x /= y .and. .not. (isnan(x) .and. isnan(y))) then
        iosr = 2
      end if
      read(buf, *, iostat=iosi) i
      read(buf, *, iostat=ios) j
      if (iosi /= 0) then
        iosi = 1
      else if (i /= j) then
        iosi = 2
      end if
      if (iosr /= 0) x = 0d0
      if (iosi /= 0) i = 0
      write(*, '(a,a,a,i0,a,z16.16,a,i0,a,i0)') '|', buf, '| ', iosr, &
          ' ', transfer(x, 1_8), ' ', iosi, ' ', i
    end do
  end subroutine
end program
